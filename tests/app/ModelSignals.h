#pragma once
// What a model tells its views, recorded as short texts ("insert 3-3",
// "remove 0-1", "change 2-2 0-2" for rows 2..2 and columns 0..2, "reset"),
// and Qt's own checker of the model's contract running beside it.

#include <QAbstractItemModel>
#include <QAbstractItemModelTester>
#include <string>
#include <vector>

namespace zv2::test {

class TModelSignals {
public:
    explicit TModelSignals(QAbstractItemModel& model)
        : Tester_(&model, QAbstractItemModelTester::FailureReportingMode::Fatal) {
        const auto range = [](const char* what, int first, int last) {
            return std::string(what) + " " + std::to_string(first) + "-" + std::to_string(last);
        };
        QObject::connect(
            &model, &QAbstractItemModel::rowsInserted, &model,
            [this, range](const QModelIndex&, int first, int last) { Seen.push_back(range("insert", first, last)); });
        QObject::connect(
            &model, &QAbstractItemModel::rowsRemoved, &model,
            [this, range](const QModelIndex&, int first, int last) { Seen.push_back(range("remove", first, last)); });
        QObject::connect(&model, &QAbstractItemModel::rowsMoved, &model, [this] { Seen.push_back("move"); });
        QObject::connect(&model, &QAbstractItemModel::modelReset, &model, [this] { Seen.push_back("reset"); });
        QObject::connect(&model, &QAbstractItemModel::layoutChanged, &model, [this] { Seen.push_back("layout"); });
        QObject::connect(&model, &QAbstractItemModel::dataChanged, &model,
                         [this, range](const QModelIndex& from, const QModelIndex& to) {
                             Seen.push_back(range("change", from.row(), to.row()) + " " +
                                            std::to_string(from.column()) + "-" + std::to_string(to.column()));
                         });
    }
    // What was seen since the last call.
    std::vector<std::string> Take() { return std::exchange(Seen, {}); }

    std::vector<std::string> Seen;

private:
    QAbstractItemModelTester Tester_;
};

} // namespace zv2::test
