// The result list as the list view shows it: each row's text as the core
// builds it, and for a target that was not counted the reason, as its tooltip
// and accessible description. Read from the program's ResultList itself.
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

    // Appends the rows to the result list, in order, as one insertion.
    void append(std::vector<ResultRow> rows);

private:
    ResultList& results_;
};

}  // namespace rowtick
