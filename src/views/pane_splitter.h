#pragma once

#include <QList>
#include <QString>

class QSplitter;

namespace quillmap {

class settings_file;

// Splitter sizes as the settings file keeps them: pane widths joined by commas ("220,900,260").
QString splitter_sizes_text(const QList<int>& sizes);
// The widths of a stored text; empty when the text is not `panes` positive numbers.
QList<int> splitter_sizes_from_text(const QString& text, int panes);

// Stores and restores a splitter's sizes under `key` of section "main".
void save_splitter(const settings_file& settings, const char* key, const QSplitter& splitter);
bool restore_splitter(const settings_file& settings, const char* key, QSplitter& splitter);

} // namespace quillmap
