// The transliteration table dialog: the live table as two columns, keys and values, with load
// and save of the table file (beside the program, or in the user's configuration folder when the
// program's folder is not writable) and that file's path.
#pragma once

#include <QDialog>

#include "core/files/TranslitFile.h"

class QFrame;
class QLabel;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

namespace velmora {

class TMainModel;

class TTranslitSetup : public QDialog {
    Q_OBJECT
  public:
    // Edits model.TranslitTable; the table file is found from model.ProgramPath and read and
    // written through model.Fs; errors go to model.Port's error report.
    explicit TTranslitSetup(TMainModel& model, QWidget* parent = nullptr);

    // Shows the dialog modally until it is closed.
    void Execute();
    // Puts the table's rows into the grid (Execute does this first).
    void ShowTable();

    QTableWidget* vleTranslit;
    QLabel* lblTableFile;
    QFrame* ButtonPanel;
    QPushButton *Button4, *Button3, *Button2, *Button1;

    void Button1Click() { accept(); }
    void Button2Click();  // save
    void Button3Click();  // load
    void Button4Click();  // the 66 default rows back
    // Puts the text of a cell being edited into the table and closes its editor; the dialog does
    // this before every key it acts on, before a move to another row, and before its buttons.
    void CommitEdit();
    void done(int result) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    TMainModel& Model;
    // Finds the table file's place now and shows its path.
    TTranslitTablePlace TablePlace();
    class TCellDelegate* Delegate;
    bool Showing = false;  // the grid is being filled from the table
    void CellChanged(QTableWidgetItem* item);
    void CurrentRowChanged(int row, int previousRow);
    void SelectRow(int row, int column);
    void HighlightCurrent();  // the highlight back on the current cell
    // With no rows the grid still shows one blank row; typing there makes it the first row.
    void EnsureRowFor(int row);
};

}  // namespace velmora
