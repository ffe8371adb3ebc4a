// The stored description of the main window, as the reader reads it when the window is made.
#include "app/Unit1.h"

const char* const kForm1Description = R"(object Form1: TForm1
  Left = 0
  Top = 0
  Caption = 'Form1'
  ClientHeight = 260
  ClientWidth = 392
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'Tahoma'
  Font.Style = []
  OldCreateOrder = False
  PixelsPerInch = 96
  TextHeight = 13
  object cxButton1: TcxButton
    Left = 120
    Top = 32
    Width = 153
    Height = 73
    Caption = 
      'Hier klicken, um die  Datenbankstruktur von Vaskoli_AB an die Ver' +
      'sion 1.1 anzupassen !'
    TabOrder = 0
    OnClick = cxButton1Click
    Colors.Normal = 4259584
    WordWrap = True
  end
  object cxButton2: TcxButton
    Left = 120
    Top = 136
    Width = 153
    Height = 73
    Caption = 'Abbrechen ohne Anpassung. (Vaskoli_AB l'#228'uft dann aber nicht.)'
    TabOrder = 1
    OnClick = cxButton2Click
    Colors.Normal = clRed
    WordWrap = True
  end
end
)";
