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
  object AdsQuery1: TAdsQuery
    DatabaseName = 'AdsConnection1'
    SQL.Strings = (
      'ALTER TABLE Kinder ADD COLUMN Alter_Stichtag integer;'
      'ALTER TABLE Kinder ADD COLUMN Kosten_von date;'
      'ALTER TABLE Kinder ADD COLUMN Kosten_bis date;'
      'ALTER TABLE Kinder ADD COLUMN Migrationshintergrund char(5);')
    AdsConnection = AdsConnection1
    ParamData = <>
  end
  object AdsConnection1: TAdsConnection
    AliasName = 'Vaskoli_AB'
    IsConnected = True
    AdsServerTypes = [stADS_LOCAL]
    LoginPrompt = False
    Username = 'Adssys'
  end
  object AdsTableKinder: TAdsTable
    Active = True
    AdsConnection = AdsConnection1
    AdsTableOptions.AdsIndexPageSize = 512
    TableName = 'Kinder'
  end
end
)";
