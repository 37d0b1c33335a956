// The target list as the list view shows it: the hint row and the paths, read
// from the program's TargetList itself, never copied into items.
#pragma once

#include <memory>
#include <vector>

#include <QAbstractListModel>

#include "targets/TargetList.h"

namespace rowtick {

class TargetListModel : public QAbstractListModel {
    Q_OBJECT
public:
    // `targets` is the window's own pointer to its list; the model appends
    // through it.
    TargetListModel(std::shared_ptr<TargetList>& targets, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Appends the entries to the target list, in order, as one insertion. A
    // run, and a worker still stuck in the file system after a cancelled one,
    // reads its own snapshot of the list, which the append leaves alone.
    void append(std::vector<DroppedTarget> entries);

private:
    std::shared_ptr<TargetList>& targets_;
};

}  // namespace rowtick
