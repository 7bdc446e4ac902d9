#include "catalogue/untSearchThread.h"

#include "catalogue/untPageText.h"
#include "catalogue/untSitePages.h"
#include "platform/Dispatcher.h"

namespace zv2::catalogue {

TSearchThread::TSearchThread(platform::IDispatcher& ui, const std::string& url, TRowHandler onRow,
                             TTerminateHandler onTerminate, http::TFetchLimits limits)
    : Ui_(ui), OnRow_(std::move(onRow)), OnTerminate_(std::move(onTerminate)), Fetch_(limits) {
    const http::TUrlParts parts = http::SplitUrl(url);
    Request_.Host = parts.Host;
    Request_.Port = parts.Port;
    Request_.Path = http::EscapeSpaces(parts.Path);
    Worker_ = std::thread([this] { Execute(); });
}

TSearchThread::~TSearchThread() {
    Stop();
    Worker_.join();
}

void TSearchThread::CloseSocket() {
    Fetch_.Abort();
}

void TSearchThread::Terminate() {
    Terminated_.store(true);
}

void TSearchThread::Stop() {
    CloseSocket();
    Terminate();
}

void TSearchThread::Execute() {
    try {
        Scan();
    } catch (...) {
        // Nothing escapes the worker: the search just ends with the rows it has.
    }
    Ui_.Post([alive = std::weak_ptr<int>(Alive_), onTerminate = OnTerminate_] {
        if (alive.lock() && onTerminate)
            onTerminate();
    });
}

void TSearchThread::Scan() {
    const std::string page = Fetch_.FetchPage(Request_).Text;
    // The terminate flag ends a scrape in progress too, so a stop never waits for a long page.
    TPageCursor cursor(page, &Terminated_);
    const std::string site = http::HostWithPort(Request_.Host, Request_.Port);
    for (int pass = 0; pass < kSearchPageItems; ++pass) {
        try {
            const std::optional<TSearchItem> item = NextSearchItem(cursor);
            if (!item)
                return;
            http::TPageRequest download = Request_;
            download.Path = DownloadPagePath(item->SongLink);
            TSearchRow row;
            row.SongName = CleanText(item->SongName);
            row.Artist = CleanText(item->Artist);
            const http::TFetchResult downloadPage = Fetch_.FetchPage(download);
            row.SongLink = DownloadLinkOf(downloadPage.Text, site, &Terminated_);
            // A song whose page path the request guard refused is skipped.
            if (downloadPage.Status != http::TFetchStatus::Refused && !TrimBlanks(row.SongLink).empty()) {
                const bool delivered = Ui_.Call([alive = std::weak_ptr<int>(Alive_), this, row] {
                    if (alive.lock() && OnRow_)
                        OnRow_(row);
                });
                if (!delivered)
                    return; // the UI thread is going away
            }
            if (Terminated())
                return;
        } catch (const std::exception&) {
            // A pass that fails is abandoned; the next one begins.
        }
    }
}

} // namespace zv2::catalogue
