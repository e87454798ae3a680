#include "app/qt/ListMirror.h"

#include <QCoreApplication>
#include <QDir>
#include <QListWidget>
#include <QSaveFile>

namespace qrb {

ListMirror::ListMirror(QListWidget* list, QString path) : QObject(list), list_(list), path_(std::move(path)) {
  QAbstractItemModel* model = list->model();
  connect(model, &QAbstractItemModel::rowsInserted, this, &ListMirror::Write);
  connect(model, &QAbstractItemModel::rowsRemoved, this, &ListMirror::Write);
  connect(model, &QAbstractItemModel::modelReset, this, &ListMirror::Write);
  // The lists as they were when the program ended, not as their destruction
  // empties them.
  connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { disconnect(list_->model(), nullptr, this, nullptr); });
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
