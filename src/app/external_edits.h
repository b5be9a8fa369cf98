#pragma once

// Textures opened in an external image editor (Texture > Edit in...): each is written as a PNG
// into a temporary folder that belongs to the open dictionary, opened with the program the
// settings name or the desktop's handler, and watched. Every save there is told once the editor
// has finished writing; the folder goes when the dictionary closes.

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

#include <map>
#include <memory>
#include <set>

class QTemporaryDir;

namespace quillmap {

class external_edits : public QObject {
    Q_OBJECT

  public:
    explicit external_edits(QObject* parent = nullptr);
    ~external_edits() override;

    // Where texture `name` is edited: a file in the folder, which is made on first use; empty
    // when it cannot be made.
    QString file_for(const QString& name);
    // Watches `file`, which holds texture `name`, for saves.
    void watch(const QString& file, const QString& name);
    // Opens `file` with `program`, or with the desktop's handler for it when `program` is
    // empty; false when nothing could be started.
    static bool open_in_editor(const QString& file, const QString& program);
    // The folder while it exists, for tests and messages; empty otherwise.
    QString folder() const;
    // Removes the folder with every file in it and stops watching (the dictionary closed).
    void clear();

  signals:
    // `file`, the picture of texture `name`, was saved.
    void saved(const QString& name, const QString& file);

  private:
    void changed(const QString& file);
    void settled();

    std::unique_ptr<QTemporaryDir> folder_;
    QFileSystemWatcher watcher_;
    // An editor writes in steps (a new file renamed over the old one, or several writes): a
    // save counts once its file has been quiet for a moment.
    QTimer settle_;
    std::map<QString, QString> names_; // file -> texture name
    std::set<QString> pending_;
};

} // namespace quillmap
