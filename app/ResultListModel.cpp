#include "ResultListModel.h"

#include <climits>

#include "Module1.h"

namespace rowtick {

ResultListModel::ResultListModel(ResultList& results, QObject* parent)
    : QAbstractListModel(parent), results_(results)
{
}

int ResultListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : shown_;
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const ResultRow row = results_.row(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return DisplayText(row);
    case Qt::ToolTipRole:  // the whole path, which the list may cut in the middle, and why it was not counted
        if (row.lines)
            return DisplayText(std::filesystem::path(row.path));
        return DisplayText(std::filesystem::path(row.path)) + u'\n'
            + QString::fromUtf8(row.reason.data(), static_cast<qsizetype>(row.reason.size()));
    case Qt::AccessibleDescriptionRole:
        if (row.lines)
            return {};
        return QString::fromUtf8(row.reason.data(), static_cast<qsizetype>(row.reason.size()));
    default:
        return {};
    }
}

void ResultListModel::showNewRows()
{
    const auto rows = static_cast<int>(std::min<std::int64_t>(results_.rowCount(), INT_MAX));
    if (rows <= shown_)
        return;
    // One insertion for all of them: thousands of single ones would each make
    // the view lay itself out again.
    beginInsertRows({}, shown_, rows - 1);
    shown_ = rows;
    endInsertRows();
}

}  // namespace rowtick
