#include "image/qt/QtFileDialog.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QFileDialog>
#include <QKeyEvent>
#include <QWindow>
#include <QLineEdit>
#include <QRegularExpression>

namespace qrb {

namespace {

QStringList WithCaseVariants(const QStringList& patterns) {
  QStringList all;
  for (const QString& pattern : patterns) {
    for (const QString& variant : {pattern, pattern.toLower(), pattern.toUpper()}) {
      if (!variant.isEmpty() && !all.contains(variant)) all << variant;
    }
  }
  return all;
}

bool IsPattern(const QString& name) {
  return name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?'));
}

// Qt's own file dialog, made to behave as the Windows one in its name box:
// it opens with the given name selected in the box, ready to be typed over;
// Enter takes what is typed even while the completion list is open, unless
// an entry of that list was chosen; and a pattern typed there and confirmed
// filters the list instead of being taken for a file name. A platform's
// native dialog does all that itself.
class OpenDialog : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;

  void accept() override {
    const QStringList files = selectedFiles();
    const QString name = files.isEmpty() ? QString() : QFileInfo(files.constFirst()).fileName();
    if (!IsPattern(name)) {
      QFileDialog::accept();
      return;
    }
    setNameFilter(WithCaseVariants({name}).join(QLatin1Char(' ')));
    if (QLineEdit* box = NameBox()) {
      box->setText(name);
      box->selectAll();
    }
  }

 protected:
  void showEvent(QShowEvent* event) override {
    QFileDialog::showEvent(event);
    // It takes the keyboard (activateWindow() would not: a dialog counts as
    // active already while the window it belongs to is).
    if (QWindow* handle = windowHandle()) handle->requestActivate();
    if (QLineEdit* box = NameBox()) {
      box->setFocus();
      box->selectAll();
      box->installEventFilter(this);
      if (QCompleter* completer = box->completer()) completer->popup()->installEventFilter(this);
    }
  }

  // Enter in the name box or its completion list.
  bool eventFilter(QObject* watched, QEvent* event) override {
    QLineEdit* box = NameBox();
    QAbstractItemView* popup = box != nullptr && box->completer() != nullptr ? box->completer()->popup() : nullptr;
    if (popup != nullptr && (watched == box || watched == popup) && event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if ((key == Qt::Key_Return || key == Qt::Key_Enter) && popup->isVisible() &&
          !popup->currentIndex().isValid()) {
        popup->hide();
        accept();
        return true;
      }
    }
    return QFileDialog::eventFilter(watched, event);
  }

 private:
  QLineEdit* NameBox() const { return findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); }
};

}  // namespace

QStringList NameFilters(const std::string& filter) {
  static const QRegularExpression bracketed(QStringLiteral("^(.*)\\(([^()]*)\\)\\s*$"));
  const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i < parts.size(); i += 2) {
    QString description = parts[i].trimmed();
    QStringList patterns;
    if (i + 1 < parts.size()) {
      patterns = parts[i + 1].split(QRegularExpression(QStringLiteral("[;\\s]+")), Qt::SkipEmptyParts);
    }
    if (const auto match = bracketed.match(description); match.hasMatch()) {
      if (patterns.isEmpty()) {
        patterns = match.captured(2).split(QRegularExpression(QStringLiteral("[;\\s]+")), Qt::SkipEmptyParts);
      }
      description = match.captured(1).trimmed();
    }
    if (patterns.isEmpty()) patterns << QStringLiteral("*");
    filters << QStringLiteral("%1 (%2)").arg(description, WithCaseVariants(patterns).join(QLatin1Char(' ')));
  }
  return filters;
}

bool QtFileDialog::ShowOpen(FileDialogSettings& settings) {
  OpenDialog dialog(parent_);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // The read-only box Qt's dialog never has. A typed name of a file that does
  // not exist is answered in the dialog ("File not found."), which stays open.
  dialog.setFileMode((settings.Flags & FileMustExist) != 0 ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  if (!settings.InitDir.empty()) dialog.setDirectory(QString::fromStdString(settings.InitDir));
  if (!settings.DefaultExt.empty()) dialog.setDefaultSuffix(QString::fromStdString(settings.DefaultExt));

  const QStringList filters = NameFilters(settings.Filter);
  if (!filters.isEmpty() && !settings.Filter.empty()) {
    dialog.setNameFilters(filters);
    const int index = settings.FilterIndex >= 1 && settings.FilterIndex <= filters.size() ? settings.FilterIndex : 1;
    dialog.selectNameFilter(filters[index - 1]);
  }
  // The name box starts with the given name, a pattern ("*.s19") included.
  if (!settings.FileName.empty()) dialog.selectFile(QString::fromStdString(settings.FileName));

  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  settings.FileName = QDir::toNativeSeparators(dialog.selectedFiles().constFirst()).toStdString();
  return true;
}

}  // namespace qrb
