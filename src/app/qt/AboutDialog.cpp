#include "app/qt/AboutDialog.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "app/qt/FormMetrics.h"

namespace qrb {

namespace {

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text, QRect where) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(where);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setWordWrap(true);
  return label;
}

// One of the two strokes of the separator.
void AddLine(QWidget* parent, QRect where, QColor colour) {
  auto* line = new QFrame(parent);
  line->setGeometry(where);
  line->setAutoFillBackground(true);
  QPalette palette = line->palette();
  palette.setColor(QPalette::Window, colour);
  line->setPalette(palette);
}

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmAbout"));
  UseFormFont(this);
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setModal(false);
  setFixedSize(Px(5730), Px(3555));

  // Loading the box: caption, version, title.
  setWindowTitle(QString::fromStdString(AboutCaption()));

  auto* picIcon = new QLabel(this);
  picIcon->setObjectName(QStringLiteral("picIcon"));
  picIcon->setGeometry(TwipsRect(240, 240, 540, 540));
  picIcon->setPixmap(windowIcon().pixmap(picIcon->size()));

  QFont titleFont = font();
  titleFont.setBold(true);
  titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
  AddLabel(this, "lblTitle", QString::fromLatin1(AppInfo::Title), TwipsRect(1050, 240, 3885, 480))
      ->setFont(titleFont);
  AddLabel(this, "lblVersion", QString::fromStdString(VersionText()), TwipsRect(1050, 840, 3885, 225));
  AddLabel(this, "lblDescription", QString::fromLatin1(AppInfo::Description), TwipsRect(1080, 1320, 3885, 930));

  AddLine(this, QRect(Px(90), Px(2445), Px(5654) - Px(90), 1), QColor(0x80, 0x80, 0x80));
  AddLine(this, QRect(Px(105), Px(2460), Px(5654) - Px(105), 2), QColor(0xFF, 0xFF, 0xFF));

  AddLabel(this, "lblDisclaimer", QString::fromStdString(DisclaimerText()), TwipsRect(255, 2625, 3870, 825));

  auto* cmdOK = new QPushButton(QStringLiteral("OK"), this);
  cmdOK->setObjectName(QStringLiteral("cmdOK"));
  cmdOK->setGeometry(TwipsRect(4245, 2625, 1260, 345));
  cmdOK->setDefault(true);  // Enter; Esc rejects, which closes as well

  auto* cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
  cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
  cmdSysInfo->setGeometry(TwipsRect(4260, 3075, 1245, 345));

  setTabOrder(cmdOK, cmdSysInfo);
  cmdOK->setFocus();

  connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(cmdSysInfo, &QPushButton::clicked, this, [this] { about_.StartSysInfo(); });
}

}  // namespace qrb
