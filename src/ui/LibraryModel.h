// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/CatalogView.h"

#include <QAbstractTableModel>

// The library's rows for a view: the catalog as filtered and sorted by CatalogView, which does the work
// (a keystroke re-filters thousands of rows; Qt's proxy models would sort them all again each time).
class LibraryModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void SetEntries(std::vector<CatalogEntry> entries) { SetCatalog(PrepareCatalog(std::move(entries))); }
    void SetCatalog(PreparedCatalog catalog);
    void SetFilter(const QString& text);
    void SetMarkFilter(const MarkFilter& filter);
    // Gives every entry of that content these marks.
    void SetMarks(std::uint64_t content, const PatchMarks& marks);
    void ShowResultList(std::vector<std::uint32_t> entries);
    void ClearResultList();
    const CatalogView& View() const { return m_view; }
    const CatalogEntry* EntryAt(const QModelIndex& index) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    CatalogView m_view;
};
