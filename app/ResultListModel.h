// The result list as the list view shows it: each row's text as the core
// builds it, and for a target that was not counted the reason, as its tooltip
// and accessible description. Read from the program's ResultList itself, up to
// the rows the view has been told of.
#pragma once

#include <vector>

#include <QAbstractListModel>

#include "counting/ResultList.h"

namespace rowtick {

class ResultListModel : public QAbstractListModel {
    Q_OBJECT
public:
    ResultListModel(ResultList& results, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Tells the view of the rows appended to the result list since the last
    // time, as one insertion.
    void showNewRows();

private:
    ResultList& results_;
    int shown_ = 0;  // a view counts rows in int; rows past that are kept (and saved) but not shown
};

}  // namespace rowtick
