// The About box: the program's name, version and purpose, and a small picture.
#pragma once

#include <QDialog>
#include <QImage>

class QFrame;
class QLabel;
class QPushButton;

namespace velmora {

class TAboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QFrame* Panel1;
    QLabel* Image1;
    QLabel* ProductName;
    QLabel* Version;
    QLabel* Comments;
    QPushButton* OKButton;
    QImage Picture;  // the decoded picture, at its own size

    void OKButtonClick() { accept(); }
};

}  // namespace velmora
