#include "TargetListModel.h"

#include <climits>

#include "Module1.h"
#include "Texts.h"

namespace rowtick {

TargetListModel::TargetListModel(std::shared_ptr<TargetList>& targets, QObject* parent)
    : QAbstractListModel(parent), targets_(targets)
{
}

int TargetListModel::rowCount(const QModelIndex& parent) const
{
    // A view counts rows in int; rows past that are kept but not shown.
    return parent.isValid() ? 0 : static_cast<int>(std::min<std::int64_t>(targets_->rowCount(), INT_MAX));
}

QVariant TargetListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    if (TargetList::isHintRow(index.row()))
        return role == Qt::DisplayRole ? QString::fromUtf8(kHintRow.data(), static_cast<qsizetype>(kHintRow.size())) : QVariant();
    // A long path is cut in the middle in the list; the tooltip shows it whole.
    return DisplayText(targets_->target(index.row()));
}

void TargetListModel::append(std::vector<DroppedTarget> entries)
{
    if (entries.empty())
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(entries.size()) - 1);
    for (DroppedTarget& entry : entries)
        targets_->append(std::move(entry));
    endInsertRows();
}

}  // namespace rowtick
