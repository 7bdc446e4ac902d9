#include "http/untHttpReply.h"

#include <gtest/gtest.h>

using namespace zv2::http;

namespace {

TEST(ReadReplyHead, ReadsTheStatusLineAndFindsFieldsInAnyCase) {
    const std::string reply = "HTTP/1.1 206 Partial Content\r\n"
                              "content-length:  10 \r\n"
                              "CONTENT-RANGE: bytes 5-14/99\r\n"
                              "No colon here\r\n"
                              "X-Empty:\r\n"
                              "\r\n"
                              "body\r\n\r\nmore";
    const THttpReplyHead head = ReadReplyHead(reply);
    EXPECT_TRUE(head.Complete);
    EXPECT_EQ(reply.substr(head.Size), "body\r\n\r\nmore");
    EXPECT_EQ(head.Status, 206);
    EXPECT_EQ(head.Reason, "Partial Content");
    ASSERT_EQ(head.Fields.size(), 3u);
    ASSERT_NE(head.Find("Content-Length"), nullptr);
    EXPECT_EQ(head.Find("Content-Length")->Name, "content-length") << "the name as written";
    EXPECT_EQ(head.Find("Content-Length")->Value, "10");
    EXPECT_EQ(head.Find("content-range")->Value, "bytes 5-14/99");
    EXPECT_EQ(head.Find("x-empty")->Value, "");
    EXPECT_EQ(head.Find("Content"), nullptr) << "whole names only";
    EXPECT_EQ(head.Find("body"), nullptr) << "the body holds no fields";
}

TEST(ReadReplyHead, TakesOnlyAWellFormedStatusLine) {
    const std::pair<const char*, int> cases[] = {
        {"HTTP/1.1 200 OK\r\n\r\n", 200},    {"HTTP/1.0 404\r\n\r\n", 404},
        {"HTTP/2.0 302 Found\r\n\r\n", 302}, {"http/1.1 200 OK\r\n\r\n", 0},
        {"HTTP/1.1 20 OK\r\n\r\n", 0},       {"HTTP/1.1 2000 OK\r\n\r\n", 0},
        {"HTTP/1 200 OK\r\n\r\n", 0},        {"HTTP/1.1  200 OK\r\n\r\n", 0},
        {"Content-Length: 5\r\n\r\n", 0},    {"", 0},
    };
    for (const auto& [reply, status] : cases)
        EXPECT_EQ(ReadReplyHead(reply).Status, status) << reply;
}

TEST(ReadReplyHead, AHeadCutShortIsReadAsFarAsItGoes) {
    const THttpReplyHead head = ReadReplyHead("HTTP/1.1 200 OK\r\nContent-Length: 7\r\nServ");
    EXPECT_FALSE(head.Complete);
    EXPECT_EQ(head.Status, 200);
    ASSERT_NE(head.Find("content-length"), nullptr);
    EXPECT_EQ(head.Find("content-length")->Value, "7");
    EXPECT_EQ(head.Find("Serv"), nullptr);
}

TEST(DecimalValue, TakesDigitsOnly) {
    EXPECT_EQ(DecimalValue("0"), 0);
    EXPECT_EQ(DecimalValue("123456789012345678"), 123456789012345678);
    EXPECT_EQ(DecimalValue("1234567890123456789"), std::nullopt) << "19 digits";
    EXPECT_EQ(DecimalValue(""), std::nullopt);
    EXPECT_EQ(DecimalValue("1 2"), std::nullopt);
    EXPECT_EQ(DecimalValue("-1"), std::nullopt);
    EXPECT_EQ(DecimalValue("12a"), std::nullopt);
}

} // namespace
