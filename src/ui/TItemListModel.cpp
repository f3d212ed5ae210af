#include "ui/TItemListModel.h"

void TItemListModel::SetRowCount(int count) {
  beginResetModel();
  Rows_ = std::max(0, count);
  endResetModel();
}

QVariant TItemListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= Rows_) return {};
  // The same text for every kind of text request.
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::EditRole) return {};
  return CellText_(index.row(), index.column());
}

QVariant TItemListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kHeaders[] = {"#", "Fájl név", "Hossz", "Szünet"};
  if (section < 0 || section >= 4) return {};
  return QString::fromUtf8(kHeaders[section]);
}
