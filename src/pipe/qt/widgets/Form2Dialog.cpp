#include "pipe/qt/widgets/Form2Dialog.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>

#include "app/ReflashSession.h"
#include "app/qt/FormMetrics.h"

namespace qrb {

namespace {

constexpr int ClientWidthTwips = 5655;
constexpr int ClientHeightTwips = 5415;

// A frame of four option buttons at tops 360, 720, 1080 and 1440 twips.
struct OptionFrame {
  const char* name;
  const char* caption;
  QRect pixels;
  int buttonWidthTwips;
  const char* buttonName;
  void (Form2::*handler)(int);
  struct Option {
    int index;
    const char* caption;
  } options[4];
};

constexpr int FrameTop = 600;
constexpr int FrameHeight = 1935;

const OptionFrame kFrames[] = {
    {"Frame1", "Port", TwipsRect(360, FrameTop, 1215, FrameHeight), 975, "ComxBtn", &Form2::ComxBtn_Click,
     {{1, "COM1:"}, {2, "COM2:"}, {3, "COM3:"}, {4, "COM4:"}}},
    {"Frame2", "Baud Rate", TwipsRect(1800, FrameTop, 1095, FrameHeight), 855, "ComBaudBtn", &Form2::ComBaudBtn_Click,
     {{1, "19.2 k"}, {2, "38.4 k"}, {3, "57.6 k"}, {4, "115.2 k"}}},
    {"Frame3", "I/O Address", TwipsRect(3120, FrameTop, 1095, FrameHeight), 735, "ComIoBtn", &Form2::ComIoBtn_Click,
     {{0x3F8, "3F8"}, {0x2F8, "2F8"}, {0x3E8, "3E8"}, {0x2E8, "2E8"}}},
    {"Frame4", "IRQ", TwipsRect(4440, FrameTop, 855, FrameHeight), 495, "ComIrqBtn", &Form2::ComIrqBtn_Click,
     {{4, "4"}, {3, "3"}, {5, "5"}, {7, "7"}}},
};

// Labels end where the text boxes begin; a wider font grows them leftwards.
QLabel* RightAlignedLabel(QWidget* parent, const char* name, const char* caption, QRect where) {
  auto* label = new QLabel(QString::fromLatin1(caption), parent);
  label->setObjectName(QString::fromLatin1(name));
  where.setTop(where.top() - 2);
  where.setHeight(label->sizeHint().height());
  if (label->sizeHint().width() > where.width()) {
    where.setLeft(std::max(0, where.right() + 1 - label->sizeHint().width()));
  }
  label->setGeometry(where);
  label->setAlignment(Qt::AlignRight | Qt::AlignTop);
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

void Separator(QWidget* parent, int topTwips) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  line->setGeometry(Px(120), Px(topTwips), Px(ClientWidthTwips - 240), 2);
}

}  // namespace

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

  AddOption(this, dataPipeSelect, "DataPipeSelect", PipeSerial, "Serial COM Port", TwipsRect(480, 240, 2655, 255),
            &Form2::DataPipeSelect_Click)
      ->setChecked(true);

  for (int f = 0; f < 4; ++f) {
    const OptionFrame& layout = kFrames[f];
    auto* frame = new QGroupBox(QString::fromLatin1(layout.caption), this);
    frame->setObjectName(QString::fromLatin1(layout.name));
    frame->setGeometry(layout.pixels);
    for (int i = 0; i < 4; ++i) {
      QRadioButton* button = AddOption(frame, groups[f], layout.buttonName, layout.options[i].index,
                                       layout.options[i].caption, TwipsRect(120, 360 * (i + 1), layout.buttonWidthTwips, 255),
                                       layout.handler);
      if (i == 0) button->setChecked(true);
    }
  }

  Separator(this, 2760);
  AddOption(this, dataPipeSelect, "DataPipeSelect", PipeEthernet, "Ethernet", TwipsRect(480, 3000, 2655, 255),
            &Form2::DataPipeSelect_Click);
  RightAlignedLabel(this, "Label1", "Address (dot notation):", TwipsRect(360, 3360, 1590, 195));
  QLineEdit* ipAddress = LineEdit(this, "IPAddress", "192.168.1.70", TwipsRect(2040, 3360, 3015, 285));
  RightAlignedLabel(this, "Label2", "Port Number:", TwipsRect(960, 3840, 930, 195));
  QLineEdit* portNumber = LineEdit(this, "PortNumber", "10001", TwipsRect(2040, 3840, 3015, 285));
  Separator(this, 4320);

  QPushButton* initialize = Button(this, "Initialize", "Initialize", TwipsRect(360, 4560, 1215, 375));
  QPushButton* cancel1 = Button(this, "Cancel1", "Cancel", TwipsRect(4080, 4560, 1215, 375));
  initialize->setDefault(true);

  ipAddress_ = std::make_unique<WidgetTextBox>(ipAddress);
  portNumber_ = std::make_unique<WidgetTextBox>(portNumber);
  form2_ = std::make_unique<Form2>(
      main, Form2Controls{window_, dataPipeSelect, groups[0], groups[1], groups[2], groups[3], *ipAddress_,
                          *portNumber_});

  connect(initialize, &QPushButton::clicked, this, [this] { form2_->Initialize_Click(); });
  connect(cancel1, &QPushButton::clicked, this, [this] { form2_->Cancel1_Click(); });
}

Form2Dialog::~Form2Dialog() = default;

QRadioButton* Form2Dialog::AddOption(QWidget* parent, Group& group, const char* name, int index,
                                     const char* caption, QRect where, void (Form2::*handler)(int)) {
  auto* button = new QRadioButton(QString::fromLatin1(caption), parent);
  button->setObjectName(QStringLiteral("%1_%2").arg(QString::fromLatin1(name)).arg(index));
  button->setGeometry(where);
  // A caption wider than the font the layout was made for may use the frame.
  const int fits = std::min(button->sizeHint().width(), parent->width() - where.x());
  if (fits > where.width()) button->resize(fits, where.height());
  group[index] = &options_.emplace_back(button);
  connect(button, &QRadioButton::clicked, this, [this, handler, index] { (form2_.get()->*handler)(index); });
  return button;
}

void Form2Dialog::reject() { form2_->Cancel1_Click(); }

}  // namespace qrb
