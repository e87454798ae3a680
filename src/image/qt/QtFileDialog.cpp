#include "image/qt/QtFileDialog.h"

#include <QFileDialog>
#include <QRegularExpression>

namespace qrb {

namespace {

// Flag 4 hides the read-only box, which Qt's dialog never has; this one
// refuses names of files that do not exist.
constexpr int FileMustExist = 0x1000;

QStringList WithCaseVariants(const QStringList& patterns) {
  QStringList all;
  for (const QString& pattern : patterns) {
    for (const QString& variant : {pattern, pattern.toLower(), pattern.toUpper()}) {
      if (!variant.isEmpty() && !all.contains(variant)) all << variant;
    }
  }
  return all;
}

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
  QFileDialog dialog(parent_);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode((settings.Flags & FileMustExist) != 0 ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  if (!settings.InitDir.empty()) dialog.setDirectory(QString::fromStdString(settings.InitDir));
  if (!settings.DefaultExt.empty()) dialog.setDefaultSuffix(QString::fromStdString(settings.DefaultExt));

  const QStringList filters = NameFilters(settings.Filter);
  if (!filters.isEmpty() && !settings.Filter.empty()) {
    dialog.setNameFilters(filters);
    const int index = settings.FilterIndex >= 1 && settings.FilterIndex <= filters.size() ? settings.FilterIndex : 1;
    dialog.selectNameFilter(filters[index - 1]);
  }
  // A wildcard file name only filters; a real one is proposed.
  const QString fileName = QString::fromStdString(settings.FileName);
  if (!fileName.isEmpty() && !fileName.contains(QLatin1Char('*')) && !fileName.contains(QLatin1Char('?'))) {
    dialog.selectFile(fileName);
  }

  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  settings.FileName = QDir::toNativeSeparators(dialog.selectedFiles().constFirst()).toStdString();
  return true;
}

}  // namespace qrb
