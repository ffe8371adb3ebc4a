// The main window of the upgrade tool: two painted buttons, the green one for the upgrade of
// the database structure, the red one to leave without a change, and the three data-access
// components behind them (the connection by the alias Vaskoli_AB, the table Kinder and the
// query with the upgrade script). Everything comes from the stored description registered under
// "TFORM1" (Unit1_dfm.cpp); the window owns the components.
#pragma once

#include "ads/adscnnct.h"
#include "ads/adstable.h"
#include "ui/cx/cxButtons.h"
#include "ui/forms/Forms.h"

class TForm1 : public TForm {
  VCL_DECLARE_CLASS(TForm1, TForm)

 public:
  explicit TForm1(TComponent* AOwner);
  // Clears Form1 when it points to this window.
  ~TForm1() override;

  // Published fields, in their declared order (the description creates them in another one:
  // the buttons, then AdsQuery1, AdsConnection1, AdsTableKinder).
  TcxButton* cxButton1 = nullptr;
  TAdsQuery* AdsQuery1 = nullptr;
  TAdsConnection* AdsConnection1 = nullptr;
  TAdsTable* AdsTableKinder = nullptr;
  TcxButton* cxButton2 = nullptr;

  // The upgrade action: close AdsTableKinder (so that the program itself no longer holds Kinder
  // open), run the upgrade script of AdsQuery1, then Application->Terminate(). An exception
  // leaves the handler (the message loop shows it); the window stays open, the table closed.
  void cxButton1Click(TObject* Sender);
  // The cancel action: Application->Terminate() and nothing else.
  void cxButton2Click(TObject* Sender);
};

extern TForm1* Form1;

// The text of the window's stored description.
extern const char* const kForm1Description;
