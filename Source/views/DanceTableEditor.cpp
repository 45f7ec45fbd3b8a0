#include "Source/views/DanceTableEditor.h"

#include <QHeaderView>
#include <QSignalBlocker>

#include <utility>

namespace vantle {

namespace {

Dance danceTableEditorDance(int row) {
    return allDances()[static_cast<std::size_t>(row) + 1];
}

QString danceTableEditorNumber(double value) {
    return QString::number(value, 'g', 4);
}

} // namespace

DanceTableEditor::DanceTableEditor(DanceTable table, Changed changed, QWidget* parent)
    : QTableWidget(static_cast<int>(allDances().size()) - 1, ColumnCount, parent), table_(std::move(table)),
      changed_(std::move(changed)) {
    setObjectName("danceTable");
    setHorizontalHeaderLabels(
        {tr("Dance"), tr("Beats per bar"), tr("From (MPM)"), tr("To (MPM)"), tr("Target (MPM)"), tr("Tag")});
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    for (int row = 0; row < rowCount(); ++row)
        showRow(row);
    // Every dance in sight, without scrolling, in the preferences.
    setMinimumHeight(horizontalHeader()->sizeHint().height() + 2 * frameWidth() +
                     rowCount() * verticalHeader()->defaultSectionSize());
    connect(this, &QTableWidget::itemChanged, this, &DanceTableEditor::cellEdited);
}

int DanceTableEditor::rowOf(Dance dance) {
    return static_cast<int>(dance) - 1;
}

void DanceTableEditor::showRow(int row) {
    const QSignalBlocker quiet(this);
    const DanceSettings settings = table_.settings(danceTableEditorDance(row));
    const QString texts[ColumnCount] = {
        QString::fromUtf8(danceKey(danceTableEditorDance(row)).data()),
        QString::number(settings.band.beatsPerBar),
        danceTableEditorNumber(settings.band.lowBarsPerMinute),
        danceTableEditorNumber(settings.band.highBarsPerMinute),
        settings.target ? danceTableEditorNumber(*settings.target) : QString(),
        QString::fromStdString(settings.tag),
    };
    for (int column = 0; column < ColumnCount; ++column) {
        // The cells stay the same items: an edit in progress elsewhere keeps its cell.
        if (QTableWidgetItem* cell = item(row, column)) {
            cell->setText(texts[column]);
            continue;
        }
        auto* cell = new QTableWidgetItem(texts[column]);
        if (column == DanceColumn) cell->setFlags(cell->flags() & ~Qt::ItemIsEditable);
        setItem(row, column, cell);
    }
}

void DanceTableEditor::cellEdited(QTableWidgetItem* item) {
    const int row = item->row();
    const Dance dance = danceTableEditorDance(row);
    DanceSettings settings = table_.settings(dance);
    const QString text = item->text().trimmed();
    bool ok = false;
    const double number = text.toDouble(&ok);
    switch (item->column()) {
    case MeterColumn:
        if (ok) settings.band.beatsPerBar = static_cast<int>(number);
        break;
    case LowColumn:
        if (ok) settings.band.lowBarsPerMinute = number;
        break;
    case HighColumn:
        if (ok) settings.band.highBarsPerMinute = number;
        break;
    case TargetColumn:
        // Emptied: no target.
        if (text.isEmpty())
            settings.target.reset();
        else if (ok)
            settings.target = number;
        break;
    case TagColumn:
        settings.tag = text.toStdString();
        break;
    default:
        break;
    }
    table_.set(dance, settings);
    // A tag taken from another dance empties that one's cell too.
    for (int other = 0; other < rowCount(); ++other)
        showRow(other);
    if (changed_) changed_(table_);
}

} // namespace vantle
