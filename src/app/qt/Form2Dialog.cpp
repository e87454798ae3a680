#include "app/qt/Form2Dialog.h"

#include <QButtonGroup>
#include <QFrame>
#include <QGuiApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStyle>
#include <QWindow>
#include <algorithm>
#include <array>
#include <string>

#include "app/ReflashSession.h"
#include "app/qt/FormMetrics.h"
#include "pipe/ComOptions.h"
#include "pipe/LinkDefaults.h"

namespace qrb {

// A frame of four option buttons at tops 360, 720, 1080 and 1440 twips.
struct OptionFrame {
  const char* name;
  const char* caption;
  QRect pixels;
  int buttonWidthTwips;
  const char* buttonName;
  void (Form2::*handler)(int);
  // The four options' values and captions, in their order.
  std::array<ComOption, 4> options;
};

namespace {

constexpr int ClientWidthTwips = 5655;
constexpr int ClientHeightTwips = 5415;
// The least room between an option button and the right edge of its frame.
constexpr int FrameGap = 4;

constexpr std::array<ComOption, 4> SpeedCaptions() {
  std::array<ComOption, 4> options{};
  for (std::size_t i = 0; i < options.size(); ++i)
    options[i] = {ComSpeedOptions[i].index, ComSpeedOptions[i].caption};
  return options;
}

constexpr int FrameTop = 600;
constexpr int FrameHeight = 1935;

const OptionFrame kFrames[] = {
    {"Frame1", "Port", TwipsRect(360, FrameTop, 1215, FrameHeight), 975, "ComxBtn", &Form2::ComxBtn_Click,
     ComPortOptions},
    {"Frame2", "Baud Rate", TwipsRect(1800, FrameTop, 1095, FrameHeight), 855, "ComBaudBtn", &Form2::ComBaudBtn_Click,
     SpeedCaptions()},
    {"Frame3", "I/O Address", TwipsRect(3120, FrameTop, 1095, FrameHeight), 735, "ComIoBtn", &Form2::ComIoBtn_Click,
     ComIoOptions},
    {"Frame4", "IRQ", TwipsRect(4440, FrameTop, 855, FrameHeight), 495, "ComIrqBtn", &Form2::ComIrqBtn_Click,
     ComIrqOptions},
};

// Labels end where the text boxes begin. A caption wider than its place
// wraps at blanks and grows downwards, as a Windows label does; nothing of
// it is cut off.
QLabel* RightAlignedLabel(QWidget* parent, const char* name, const char* caption, QRect where) {
  auto* label = new QLabel(QString::fromLatin1(caption), parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setAlignment(Qt::AlignRight | Qt::AlignTop);
  where.setTop(where.top() - 2);
  if (label->sizeHint().width() > where.width()) label->setWordWrap(true);
  where.setHeight(label->heightForWidth(where.width()) > 0 ? label->heightForWidth(where.width())
                                                            : label->sizeHint().height());
  label->setGeometry(where);
  return label;
}

QLineEdit* LineEdit(QWidget* parent, const char* name, const char* text, QRect where) {
  auto* edit = new QLineEdit(QString::fromLatin1(text), parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setGeometry(where);
  return edit;
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption, QRect where) {
  auto* button = new QPushButton(QString::fromLatin1(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(where);
  return button;
}

// The width an option button paints: its round indicator, the spacing and
// the caption.
int DrawnWidth(const QRadioButton* button) {
  const QStyle* style = button->style();
  return style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, button) +
         style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, button) +
         button->fontMetrics().horizontalAdvance(button->text());
}

void Separator(QWidget* parent, int topTwips) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  line->setGeometry(Px(120), Px(topTwips), Px(ClientWidthTwips - 240), 2);
}

}  // namespace

// Why Initialize was refused, below the buttons, in red.
QLabel* ReasonLabel(QWidget* parent) {
  auto* reason = new QLabel(parent);
  reason->setObjectName(QStringLiteral("Reason"));
  reason->setGeometry(TwipsRect(360, 4980, 4935, 420));
  reason->setWordWrap(true);
  reason->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  QPalette red = reason->palette();
  red.setColor(QPalette::WindowText, QColor(0xB0, 0, 0));
  reason->setPalette(red);
  return reason;
}

// One frame of four option buttons; the buttons in their tab order.
QList<QWidget*> Form2Dialog::AddFrame(const OptionFrame& layout, Group& group) {
  auto* frame = new QGroupBox(QString::fromLatin1(layout.caption), this);
  frame->setObjectName(QString::fromLatin1(layout.name));
  frame->setGeometry(layout.pixels);
  QButtonGroup* buttons = NewGroup();
  QList<QWidget*> tabOrder;
  for (int i = 0; i < 4; ++i) {
    tabOrder << AddOption(frame, group, buttons, layout.buttonName, layout.options[i].index, layout.options[i].caption,
                          TwipsRect(120, 360 * (i + 1), layout.buttonWidthTwips, 255), layout.handler);
  }
  return tabOrder;
}

Form2Dialog::Form2Dialog(Form1& main, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Form2"));
  UseFormFont(this);
  setWindowTitle(QStringLiteral("COM Port Parameters"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setModal(false);
  setFixedSize(Px(ClientWidthTwips), Px(ClientHeightTwips));

  Group dataPipeSelect;
  Group groups[4];
  QButtonGroup* links = NewGroup();
  QList<QWidget*> tabOrder;

  tabOrder << AddOption(this, dataPipeSelect, links, "DataPipeSelect", PipeSerial, "Serial COM Port",
                        TwipsRect(480, 240, 2655, 255), &Form2::DataPipeSelect_Click);
  tabOrder << AddOption(this, dataPipeSelect, links, "DataPipeSelect", PipeEthernet, "Ethernet",
                        TwipsRect(480, 3000, 2655, 255), &Form2::DataPipeSelect_Click);

  for (int f = 0; f < 4; ++f) tabOrder << AddFrame(kFrames[f], groups[f]);

  Separator(this, 2760);
  RightAlignedLabel(this, "Label1", "Address (dot notation):", TwipsRect(360, 3360, 1590, 195));
  QLineEdit* ipAddress = LineEdit(this, "IPAddress", DefaultIPAddress, TwipsRect(2040, 3360, 3015, 285));
  RightAlignedLabel(this, "Label2", "Port Number:", TwipsRect(960, 3840, 930, 195));
  QLineEdit* portNumber =
      LineEdit(this, "PortNumber", std::to_string(DefaultPortNumber).c_str(), TwipsRect(2040, 3840, 3015, 285));
  Separator(this, 4320);

  QPushButton* initialize = Button(this, "Initialize", "Initialize", TwipsRect(360, 4560, 1215, 375));
  QPushButton* cancel1 = Button(this, "Cancel1", "Cancel", TwipsRect(4080, 4560, 1215, 375));
  initialize->setDefault(true);
  initialize_ = initialize;
  QLabel* reason = ReasonLabel(this);
  tabOrder << ipAddress << portNumber << initialize << cancel1;
  for (qsizetype i = 1; i < tabOrder.size(); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);

  ipAddress_ = std::make_unique<WidgetTextBox>(ipAddress);
  portNumber_ = std::make_unique<WidgetTextBox>(portNumber);
  reason_ = std::make_unique<WidgetLabel>(reason);
  form2_ = std::make_unique<Form2>(
      main, Form2Controls{window_, dataPipeSelect, groups[0], groups[1], groups[2], groups[3], *ipAddress_,
                          *portNumber_, reason_.get()});

  connect(initialize, &QPushButton::clicked, this, [this, ipAddress, portNumber] {
    form2_->Initialize_Click();
    // Refused: the box at fault takes the keyboard, its text selected.
    QLineEdit* box = form2_->Refused() == Form2::Field::IPAddress    ? ipAddress
                     : form2_->Refused() == Form2::Field::PortNumber ? portNumber
                                                                     : nullptr;
    if (box != nullptr) {
      box->setFocus(Qt::TabFocusReason);
      box->selectAll();
    }
  });
  connect(cancel1, &QPushButton::clicked, this, [this] { form2_->Cancel1_Click(); });
}

Form2Dialog::~Form2Dialog() = default;

namespace {

// Only the checked button of a group is a tab stop; with none checked, the
// first one is.
void PlaceTabStop(QButtonGroup* group) {
  QAbstractButton* stop = group->checkedButton();
  if (stop == nullptr && !group->buttons().isEmpty()) stop = group->buttons().constFirst();
  for (QAbstractButton* button : group->buttons())
    button->setFocusPolicy(button == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

// The next enabled button of the group in its order, round the end; the
// button itself when there is none.
QAbstractButton* Neighbour(QButtonGroup* group, QAbstractButton* from, int step) {
  const QList<QAbstractButton*> buttons = group->buttons();
  const qsizetype n = buttons.size();
  const qsizetype at = buttons.indexOf(from);
  for (qsizetype k = 1; k < n; ++k) {
    QAbstractButton* next = buttons[((at + step * k) % n + n) % n];
    if (next->isEnabled()) return next;
  }
  return from;
}

}  // namespace

QButtonGroup* Form2Dialog::NewGroup() {
  auto* group = new QButtonGroup(this);
  group->setExclusive(true);
  connect(group, &QButtonGroup::buttonToggled, this, [group] { PlaceTabStop(group); });
  groups_.push_back(group);
  return group;
}

QRadioButton* Form2Dialog::AddOption(QWidget* parent, Group& group, QButtonGroup* buttons, const char* name,
                                     int index, const char* caption, QRect where, void (Form2::*handler)(int)) {
  auto* button = new QRadioButton(QString::fromLatin1(caption), parent);
  button->setObjectName(QStringLiteral("%1_%2").arg(QString::fromLatin1(name)).arg(index));
  button->setGeometry(where);
  // A caption wider than the font the layout was made for may use the frame
  // up to a small gap before its right edge, and the button moves left into
  // the margin when even that is too narrow: the caption is never cut.
  const int drawn = DrawnWidth(button);
  int room = parent->width() - FrameGap - where.x();
  if (drawn > room) {
    where.moveLeft(std::max(FrameGap, where.x() - (drawn - room)));
    room = parent->width() - FrameGap - where.x();
  }
  where.setWidth(std::max(where.width(), std::min(button->sizeHint().width(), room)));
  button->setGeometry(where);
  buttons->addButton(button, index);
  button->installEventFilter(this);
  group[index] = &options_.emplace_back(button);
  connect(button, &QRadioButton::clicked, this, [this, handler, index] { (form2_.get()->*handler)(index); });
  return button;
}

bool Form2Dialog::eventFilter(QObject* watched, QEvent* event) {
  auto* button = qobject_cast<QAbstractButton*>(watched);
  QButtonGroup* group = button != nullptr ? button->group() : nullptr;
  if (group == nullptr) return QDialog::eventFilter(watched, event);
  if (event->type() == QEvent::FocusOut) {
    PlaceTabStop(group);  // leaving the group, its tab stop is the checked button again
  } else if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & ~Qt::KeypadModifier) return false;
    int step = 0;
    if (key->key() == Qt::Key_Down || key->key() == Qt::Key_Right) step = 1;
    if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Left) step = -1;
    if (step == 0) return false;
    QAbstractButton* next = Neighbour(group, button, step);
    if (next != button) {
      next->setFocus(step > 0 ? Qt::TabFocusReason : Qt::BacktabFocusReason);
      next->click();  // moving onto an option selects it
    }
    return true;
  }
  return false;
}

void Form2Dialog::showEvent(QShowEvent* event) {
  // Shown again, it opens where it was last, also after the user moved it.
  if (place_) move(*place_);
  // At every showing: the keyboard at the first tab stop, its focus mark
  // drawn at once (as after a Tab), and Enter for Initialize.
  if (QAbstractButton* link = groups_.front()->checkedButton()) link->setFocus(Qt::TabFocusReason);
  initialize_->setDefault(true);
  QDialog::showEvent(event);
}

bool Form2Dialog::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) setAttribute(Qt::WA_KeyboardFocusChange);
  return QDialog::event(event);
}

void Form2Dialog::hideEvent(QHideEvent* event) {
  if (!event->spontaneous()) {
    place_ = pos();
    // As on Windows, the keyboard goes back to the main window.
    const QWindow* handle = windowHandle();
    if (handle != nullptr && QGuiApplication::focusWindow() == handle && parentWidget() != nullptr)
      parentWidget()->window()->activateWindow();
  }
  QDialog::hideEvent(event);
}

void Form2Dialog::reject() { form2_->Cancel1_Click(); }

}  // namespace qrb
