// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LibraryModel.h"

#include <QApplication>
#include <QDateTime>
#include <QPalette>

#include "library/PatchKinds.h"
#include "util/LegacyText.h"

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

void LibraryModel::SetCatalog(PreparedCatalog catalog) {
    beginResetModel();
    m_view.SetCatalog(std::move(catalog));
    endResetModel();
}

void LibraryModel::SetFilter(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    const std::string_view filter(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    if (filter == m_view.Filter()) return;
    beginResetModel();
    m_view.SetFilter(filter);
    endResetModel();
}

void LibraryModel::SetMarkFilter(const MarkFilter& filter) {
    if (filter == m_view.Marks()) return;
    beginResetModel();
    m_view.SetMarkFilter(filter);
    endResetModel();
}

void LibraryModel::SetMarks(std::uint64_t content, const PatchMarks& marks) {
    beginResetModel();
    m_view.SetMarks(content, marks);
    endResetModel();
}

void LibraryModel::ShowResultList(std::vector<std::uint32_t> entries) {
    beginResetModel();
    m_view.ShowResultList(std::move(entries));
    endResetModel();
}

void LibraryModel::ClearResultList() {
    if (!m_view.ShowingResultList()) return;
    beginResetModel();
    m_view.ClearResultList();
    endResetModel();
}

const CatalogEntry* LibraryModel::EntryAt(const QModelIndex& index) const {
    if (!index.isValid() || index.row() < 0 || static_cast<std::size_t>(index.row()) >= m_view.RowCount())
        return nullptr;
    return &m_view.Row(static_cast<std::size_t>(index.row()));
}

int LibraryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_view.RowCount());
}

int LibraryModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kCatalogColumnCount; }

QVariant LibraryModel::data(const QModelIndex& index, int role) const {
    const CatalogEntry* e = EntryAt(index);
    if (e == nullptr) return {};
    const auto row = static_cast<std::size_t>(index.row());
    switch (role) {
        case Qt::DisplayRole:
            switch (static_cast<CatalogColumn>(index.column())) {
                case CatalogColumn::Name: {
                    // The marks in words too, so that a screen reader says them with the name.
                    QString name = Q(m_view.RowName(row));
                    if (e->marks.star) name.prepend(QStringLiteral("\u2605 "));
                    if (e->marks.hidden) name += QStringLiteral(" (hidden)");
                    return name;
                }
                case CatalogColumn::Kind:
                    if (!e->valid) return {};
                    return Q(std::string(KindName(m_view.RowKind(row))));
                case CatalogColumn::Author: return Q(OneLine(e->author));
                case CatalogColumn::Bank: return Q(OneLine(e->bank));
                case CatalogColumn::File: return Q(OneLine(e->fileName));
                case CatalogColumn::Modified:
                    if (e->mtime == 0) return {};
                    return QDateTime::fromMSecsSinceEpoch(e->mtime / 1'000'000)
                        .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
            }
            return {};
        case Qt::ForegroundRole:
            if (!e->valid || e->marks.hidden) return QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
            return {};
        case Qt::ToolTipRole: {
            const QString path = Q(DecodeLegacyText(e->path));
            return e->valid ? path : Q(e->reason) + QLatin1Char('\n') + path;
        }
        default: return {};
    }
}

QVariant LibraryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kTitles[kCatalogColumnCount] = {"Name", "Author", "Bank", "File", "Modified", "Kind"};
    if (section < 0 || section >= kCatalogColumnCount) return {};
    return QString::fromUtf8(kTitles[section]);
}

void LibraryModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= kCatalogColumnCount) return;
    beginResetModel();
    m_view.SortBy(static_cast<CatalogColumn>(column), order == Qt::AscendingOrder);
    endResetModel();
}
