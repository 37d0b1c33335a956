// The target list as the list view shows it: the hint row and the paths, read
// from the program's TargetList itself, never copied into items.
#pragma once

#include <vector>

#include <QAbstractListModel>

#include "TargetList.h"

namespace rowtick {

class TargetListModel : public QAbstractListModel {
    Q_OBJECT
public:
    TargetListModel(TargetList& targets, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Appends the entries to the target list, in order, as one insertion.
    void append(const std::vector<DroppedTarget>& entries);

private:
    TargetList& targets_;
};

}  // namespace rowtick
