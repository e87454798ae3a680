#include "app/qt/ListMirror.h"

#include <QCoreApplication>
#include <QDir>
#include <QListWidget>
#include <QSaveFile>

namespace qrb {

ListMirror::ListMirror(QListWidget* list, QString path) : QObject(list), list_(list), path_(std::move(path)) {
  constexpr int CoalesceMs = 20;
  pending_.setSingleShot(true);
  pending_.setInterval(CoalesceMs);
  connect(&pending_, &QTimer::timeout, this, &ListMirror::Write);
  const auto changed = [this] {
    if (!pending_.isActive()) pending_.start();
  };
  QAbstractItemModel* model = list->model();
  connect(model, &QAbstractItemModel::rowsInserted, this, changed);
  connect(model, &QAbstractItemModel::rowsRemoved, this, changed);
  connect(model, &QAbstractItemModel::modelReset, this, changed);
  // The lists as they were when the program ended, not as their destruction
  // empties them.
  connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
    disconnect(list_->model(), nullptr, this, nullptr);
    if (pending_.isActive()) {
      pending_.stop();
      Write();
    }
  });
  Write();
}

void ListMirror::Write() const {
  QSaveFile file(path_);  // a reader never sees half a list
  if (!file.open(QIODevice::WriteOnly)) return;
  for (int i = 0; i < list_->count(); ++i) file.write(list_->item(i)->text().toUtf8() + '\n');
  file.commit();
}

void MirrorListsFromEnvironment(QWidget* window) {
  const QString folder = qEnvironmentVariable("QRB_LIST_MIRROR");
  if (folder.isEmpty()) return;
  for (QListWidget* list : window->findChildren<QListWidget*>())
    new ListMirror(list, QDir(folder).filePath(list->objectName() + QStringLiteral(".txt")));
}

}  // namespace qrb
