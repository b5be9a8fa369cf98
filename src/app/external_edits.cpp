#include "app/external_edits.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

namespace quillmap {

namespace {
constexpr int k_settle_ms = 300;
} // namespace

external_edits::external_edits(QObject* parent) : QObject(parent) {
    settle_.setSingleShot(true);
    settle_.setInterval(k_settle_ms);
    connect(&settle_, &QTimer::timeout, this, &external_edits::settled);
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &external_edits::changed);
    // A save that writes a new file and renames it over the old one ends the old file's watch:
    // the folder's change brings it back.
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
        for (const auto& [file, name] : names_)
            if (!watcher_.files().contains(file) && QFileInfo::exists(file)) changed(file);
    });
}

external_edits::~external_edits() {
    clear();
}

QString external_edits::file_for(const QString& name) {
    if (!folder_) {
        folder_ = std::make_unique<QTemporaryDir>(QDir::temp().filePath("quillmap-edit-XXXXXX"));
        if (!folder_->isValid()) {
            folder_.reset();
            return {};
        }
        watcher_.addPath(folder_->path());
    }
    QString safe = name;
    for (QChar& c : safe)
        if (c == '/' || c == '\\' || c.unicode() < 32) c = '_';
    return QDir(folder_->path()).filePath((safe.isEmpty() ? QString("texture") : safe) + ".png");
}

void external_edits::watch(const QString& file, const QString& name) {
    names_[file] = name;
    if (!watcher_.files().contains(file)) watcher_.addPath(file);
}

bool external_edits::open_in_editor(const QString& file, const QString& program) {
    if (program.isEmpty()) return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
    return QProcess::startDetached(program, {file});
}

QString external_edits::folder() const {
    return folder_ ? folder_->path() : QString();
}

void external_edits::clear() {
    settle_.stop();
    pending_.clear();
    names_.clear();
    if (!watcher_.files().isEmpty()) watcher_.removePaths(watcher_.files());
    if (!watcher_.directories().isEmpty()) watcher_.removePaths(watcher_.directories());
    folder_.reset(); // QTemporaryDir removes the folder and what it holds
}

void external_edits::changed(const QString& file) {
    if (!names_.count(file)) return;
    if (QFileInfo::exists(file) && !watcher_.files().contains(file)) watcher_.addPath(file);
    pending_.insert(file);
    settle_.start();
}

void external_edits::settled() {
    const std::set<QString> files = std::move(pending_);
    pending_.clear();
    for (const QString& file : files) {
        const auto found = names_.find(file);
        if (found != names_.end() && QFileInfo(file).size() > 0) emit saved(found->second, file);
    }
}

} // namespace quillmap
