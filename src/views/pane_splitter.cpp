#include "views/pane_splitter.h"

#include "platform/settings.h"

#include <QSplitter>
#include <QStringList>

namespace quillmap {

QString splitter_sizes_text(const QList<int>& sizes) {
    QStringList parts;
    for (int size : sizes)
        parts << QString::number(size);
    return parts.join(QLatin1Char(','));
}

QList<int> splitter_sizes_from_text(const QString& text, int panes) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != panes) return {};
    QList<int> sizes;
    for (const QString& part : parts) {
        bool ok = false;
        const int size = part.trimmed().toInt(&ok);
        // A hand-edited value that is not a plain width leaves the default layout.
        if (!ok || size < 0 || size > 100000) return {};
        sizes << size;
    }
    return sizes;
}

void save_splitter(const settings_file& settings, const char* key, const QSplitter& splitter) {
    settings.write_string("main", key, splitter_sizes_text(splitter.sizes()).toStdString());
}

bool restore_splitter(const settings_file& settings, const char* key, QSplitter& splitter) {
    const QList<int> sizes = splitter_sizes_from_text(
        QString::fromStdString(settings.read_string("main", key)), splitter.count());
    if (sizes.isEmpty()) return false;
    splitter.setSizes(sizes);
    return true;
}

} // namespace quillmap
