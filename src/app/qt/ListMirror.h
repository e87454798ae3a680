// A diagnostic option (QRB_LIST_MIRROR, in the manual page): keeps the lines
// a list box shows in a text file, one line per item, rewritten soon after
// the list changes (changes within a few milliseconds make one write). Lets a
// script or a test on a real display read the lists from outside the process.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class QListWidget;

namespace qrb {

class ListMirror : public QObject {
 public:
  ListMirror(QListWidget* list, QString path);

 private:
  void Write() const;

  QListWidget* list_;
  QString path_;
  QTimer pending_;
};

// With QRB_LIST_MIRROR naming a folder, mirrors every list box of `window`
// into <folder>/<list's name>.txt; otherwise does nothing.
void MirrorListsFromEnvironment(QWidget* window);

}  // namespace qrb
