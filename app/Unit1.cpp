// TForm1: class registration, the two click handlers and the registration of the window's
// stored description.
#include "app/Unit1.h"

TForm1* Form1 = nullptr;

VCL_REGISTER_CLASS(TForm1, [](TClassBuilder<TForm1>& c) {
  c.Field("cxButton1", &TForm1::cxButton1);
  c.Field("AdsQuery1", &TForm1::AdsQuery1);
  c.Field("AdsConnection1", &TForm1::AdsConnection1);
  c.Field("AdsTableKinder", &TForm1::AdsTableKinder);
  c.Field("cxButton2", &TForm1::cxButton2);
  c.Method("cxButton1Click", &TForm1::cxButton1Click);
  c.Method("cxButton2Click", &TForm1::cxButton2Click);
})

namespace {
const bool kForm1DescriptionRegistered = [] {
  RegisterFormResource("TFORM1", kForm1Description);
  return true;
}();
}  // namespace

TForm1::TForm1(TComponent* AOwner) : TForm(AOwner) {}

TForm1::~TForm1() {
  if (Form1 == this) Form1 = nullptr;
}

void TForm1::cxButton1Click(TObject*) {
  AdsTableKinder->SetActive(false);
  AdsQuery1->ExecSQL();
  Application->Terminate();
}

void TForm1::cxButton2Click(TObject*) {
  Application->Terminate();
}
