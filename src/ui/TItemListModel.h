#pragma once
// The model behind the item list `VST`: four columns ("#", "Fájl név",
// "Hossz", "Szünet") and a row count the window sets. Rows carry no data of
// their own; each cell's text is asked for by row position and column from
// the window's cell-text handler, which looks the item up in the store.
//
// GUI thread only.

#include <QAbstractTableModel>
#include <functional>

class TItemListModel : public QAbstractTableModel {
 public:
  using TCellText = std::function<QString(int row, int column)>;

  explicit TItemListModel(TCellText cellText, QObject* parent = nullptr)
      : QAbstractTableModel(parent), CellText_(std::move(cellText)) {}

  // Clears the rows, then shows `count` rows (a full reset: selection and
  // current row are dropped).
  void SetRowCount(int count);
  int RowCount() const { return Rows_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override { return parent.isValid() ? 0 : Rows_; }
  int columnCount(const QModelIndex& parent = QModelIndex()) const override { return parent.isValid() ? 0 : 4; }
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  TCellText CellText_;
  int Rows_ = 0;
};
