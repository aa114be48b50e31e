#include "ui/About.h"

#include <QFile>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "ui/JpegDecode.h"

namespace velmora {

namespace {

// Narrows the label's font until its wrapped text fits the label's box: the platform's sans
// serif is wider than the font the box was made for.
void FitWrappedText(QLabel* label) {
    QFont font = label->font();
    for (int stretch = 100; stretch >= 70; stretch -= 5) {
        font.setStretch(stretch);
        const QRect needed = QFontMetrics(font).boundingRect(
            QRect(0, 0, label->width(), 10000), Qt::AlignCenter | Qt::TextWordWrap, label->text());
        if (needed.height() <= label->height()) {
            break;
        }
    }
    label->setFont(font);
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutBox");
    setWindowTitle("About");
    setFixedSize(298, 213);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setGeometry(8, 8, 281, 161);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(2);

    // The picture is scaled into its area with its proportions kept and centred there.
    Image1 = new QLabel(Panel1);
    Image1->setObjectName("Image1");
    Image1->setGeometry(80, 4, 105, 41);
    Image1->setAlignment(Qt::AlignCenter);
    QFile file(":/about.jpg");
    if (file.open(QIODevice::ReadOnly)) {
        Picture = DecodeJpeg(file.readAll());
    }
    if (!Picture.isNull()) {
        Image1->setPixmap(QPixmap::fromImage(
            Picture.scaled(Image1->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    }

    ProductName = new QLabel("Velmora", Panel1);
    ProductName->setObjectName("ProductName");
    QFont bold = ProductName->font();
    bold.setBold(true);
    ProductName->setFont(bold);
    ProductName->move(50, 50);
    ProductName->adjustSize();

    Version = new QLabel("v. 0.0.5 Prerelease", Panel1);
    Version->setObjectName("Version");
    Version->move(90, 66);
    Version->adjustSize();

    Comments = new QLabel(
        "Подготовка  MP3 CD для автомагнитол Blaupunkt в автомобилях Chevrolet (GMDAT) с "
        "рабочим ДУ на руле.",
        Panel1);
    Comments->setObjectName("Comments");
    Comments->setGeometry(22, 101, 204, 39);
    Comments->setAlignment(Qt::AlignCenter);
    Comments->setWordWrap(true);
    FitWrappedText(Comments);

    OKButton = new QPushButton("OK", this);
    OKButton->setObjectName("OKButton");
    OKButton->setGeometry(111, 180, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
}

}  // namespace velmora
