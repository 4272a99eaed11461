// The report lists of the windows (students, timetable rows): rows of texts into and out of a
// QTableWidget, and the selected row. Window thread only.
#pragma once

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableWidget>
#include <array>
#include <cstddef>
#include <vector>

namespace orvo::console {

// Whole-row single selection, grid lines, no editing, the given column captions.
inline void ConfigureReportList(QTableWidget& list, const QStringList& captions) {
  list.setHorizontalHeaderLabels(captions);
  list.verticalHeader()->hide();
  list.setShowGrid(true);
  list.setSelectionBehavior(QAbstractItemView::SelectRows);
  list.setSelectionMode(QAbstractItemView::SingleSelection);
  list.setEditTriggers(QAbstractItemView::NoEditTriggers);
  list.setWordWrap(false);
  list.horizontalHeader()->setHighlightSections(false);
}

template <std::size_t N>
void ShowReportRows(QTableWidget& list, const std::vector<std::array<QString, N>>& rows) {
  list.clearSelection();
  list.setRowCount(0);
  list.setRowCount(static_cast<int>(rows.size()));
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t c = 0; c < N; ++c) {
      list.setItem(static_cast<int>(r), static_cast<int>(c), new QTableWidgetItem(rows[r][c]));
    }
  }
}

template <std::size_t N>
std::vector<std::array<QString, N>> ReportRows(const QTableWidget& list) {
  std::vector<std::array<QString, N>> rows(static_cast<std::size_t>(list.rowCount()));
  for (int r = 0; r < list.rowCount(); ++r) {
    for (std::size_t c = 0; c < N; ++c) {
      if (const QTableWidgetItem* item = list.item(r, static_cast<int>(c))) {
        rows[static_cast<std::size_t>(r)][c] = item->text();
      }
    }
  }
  return rows;
}

// The first selected row, or -1.
inline int SelectedReportRow(const QTableWidget& list) {
  const QModelIndexList selected = list.selectionModel()->selectedRows();
  return selected.isEmpty() ? -1 : selected.first().row();
}

}  // namespace orvo::console
