// The main window of the upgrade tool: two painted buttons, the green one for the upgrade of
// the database structure, the red one to leave without a change. Its controls come from the
// stored description registered under "TFORM1" (Unit1_dfm.cpp).
#pragma once

#include <functional>

#include "ui/cx/cxButtons.h"
#include "ui/forms/Forms.h"

class TForm1 : public TForm {
  VCL_DECLARE_CLASS(TForm1, TForm)

 public:
  explicit TForm1(TComponent* AOwner);
  // Clears Form1 when it points to this window.
  ~TForm1() override;

  // Published fields, in their declared order. The data-access components AdsQuery1,
  // AdsConnection1 and AdsTableKinder take their places between the two buttons when their
  // classes exist.
  TcxButton* cxButton1 = nullptr;
  TcxButton* cxButton2 = nullptr;

  // The upgrade action: UpgradeDatabase, then Application->Terminate(). An exception from
  // UpgradeDatabase leaves the handler (the message loop shows it) and the window stays open.
  void cxButton1Click(TObject* Sender);
  // The cancel action: Application->Terminate() and nothing else.
  void cxButton2Click(TObject* Sender);

  // The database part of the upgrade action (close the table, run the upgrade script). The
  // database wiring of the window sets it; while it is empty the action only ends the program.
  std::function<void()> UpgradeDatabase;
};

extern TForm1* Form1;

// The text of the window's stored description.
extern const char* const kForm1Description;
