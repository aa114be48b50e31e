// "Проверка диска": every problem of the folder on the disc with the file it concerns and what to
// do, the notes, the names made for the disc, and the summary, with the radio profile and the
// blank to choose. Shown alone (OK), or before an image is written or a disc burnt ("Записать" /
// "Отмена"; before an image, whether the track list is written beside it).
#pragma once

#include <QDialog>

#include "core/disc/Disc.h"
#include "core/model/UserPort.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace velmora {

class TDiscCheckDialog : public QDialog {
    Q_OBJECT
  public:
    // A change of profile or blank runs `recheck` and shows its check.
    TDiscCheckDialog(const TDiscCheck& check, EDiscPurpose purpose, const TDiscChoice& choice,
                     TUserPort::TDiscRecheck recheck, QWidget* parent = nullptr);

    // The check shown last and the choice made.
    const TDiscCheck& Check() const { return Shown; }
    const TDiscChoice& Choice() const { return Chosen; }

    QComboBox* cbProfile;
    QComboBox* cbBlank;
    QCheckBox* cbTrackList = nullptr;  // before an image only
    QCheckBox* cbSplit = nullptr;      // before an image or a burn, when one disc is too small
    QLabel* lblSummary;
    QTableWidget* ProblemTable;
    QLabel* lblDetails;  // the chosen row's whole text
    QPushButton* btnOk;
    QPushButton* btnCancel = nullptr;  // before an image or a burn only

  private:
    TDiscCheck Shown;
    TDiscChoice Chosen;
    EDiscPurpose Purpose;
    TUserPort::TDiscRecheck Recheck;

    void Fill();
    void ChoiceChanged();
};

}  // namespace velmora
