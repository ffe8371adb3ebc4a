// TDataSource and the data links: how data events of a dataset reach the things linked to it.
#include <algorithm>

#include "ui/db/DataSet.h"

// ---------------------------------------------------------------------------------------------
// TDataSource

TDataSource::TDataSource(TComponent* AOwner) : TComponent(AOwner) {}

TDataSource::~TDataSource() {
  Destroying();
  while (!FDataLinks.empty()) FDataLinks.back()->SetDataSource(nullptr);
  SetDataSet(nullptr);
}

void TDataSource::SetDataSet(TDataSet* Value) {
  if (Value == FDataSet) return;
  // Circular when this source is the master of Value or of one of Value's masters.
  for (TDataSet* d = Value; d; d = d->GetDataSource() ? d->GetDataSource()->DataSet() : nullptr) {
    if (d->GetDataSource() == this)
      DatabaseError("Zirkuläre Datenverbindungen sind nicht erlaubt", this);
    if (d->GetDataSource() && d->GetDataSource()->DataSet() == Value) break;
  }
  if (FDataSet) {
    FDataSet->RemoveFreeNotification(this);
    FDataSet->RemoveDataSource(this);
  }
  FDataSet = Value;
  if (FDataSet) {
    FDataSet->FreeNotification(this);
    FDataSet->AddDataSource(this);
  }
  UpdateState();
}

void TDataSource::SetEnabled(bool Value) {
  FEnabled = Value;
  UpdateState();
}

void TDataSource::Edit() {
  if (FAutoEdit && FState == dsBrowse) FDataSet->Edit();
}

bool TDataSource::IsLinkedTo(TDataSet* DataSet) {
  // Through the detail links of this source, and the sources of those details, recursively.
  for (TDataLink* link : FDataLinks) {
    auto* detail = dynamic_cast<TDetailDataLink*>(link);
    TDataSet* d = detail ? detail->DetailDataSet() : nullptr;
    if (!d) continue;
    if (d == DataSet) return true;
    for (TDataSource* next : d->FDataSources)
      if (next != this && next->IsLinkedTo(DataSet)) return true;
  }
  return false;
}

void TDataSource::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FDataSet) SetDataSet(nullptr);
}

void TDataSource::UpdateState() {
  if (FEnabled && FDataSet)
    SetState(FDataSet->State());
  else
    SetState(dsInactive);
}

void TDataSource::SetState(TDataSetState Value) {
  // The opening state is internal to the dataset; links see the dataset closed until it is open.
  if (Value == dsOpening) Value = dsInactive;
  if (FState == Value) return;
  FState = Value;
  NotifyDataLinks(deUpdateState, 0);
  // A source that is going tells its links, but runs no handler of its owner any more.
  if (OnStateChange && !ComponentState().Contains(csDestroying)) OnStateChange(this);
}

void TDataSource::NotifyDataLinks(TDataEvent Event, intptr_t Info) {
  std::vector<TDataLink*> links = FDataLinks;
  for (TDataLink* link : links)
    if (std::find(FDataLinks.begin(), FDataLinks.end(), link) != FDataLinks.end())
      link->DataEvent(Event, Info);
}

void TDataSource::DataEvent(TDataEvent Event, intptr_t Info) {
  if (Event == deUpdateState) {
    UpdateState();
    return;
  }
  if (FState == dsInactive) return;
  NotifyDataLinks(Event, Info);
  switch (Event) {
    case deFieldChange:
    case deRecordChange:
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange:
      if (OnDataChange)
        OnDataChange(this, Event == deFieldChange ? reinterpret_cast<TField*>(Info) : nullptr);
      break;
    case deUpdateRecord:
      if (OnUpdateData) OnUpdateData(this);
      break;
    default:
      break;
  }
}

void TDataSource::AddDataLink(TDataLink* Link) {
  FDataLinks.push_back(Link);
  if (FDataSet) FDataSet->UpdateBufferCount();
}

void TDataSource::RemoveDataLink(TDataLink* Link) {
  auto it = std::find(FDataLinks.begin(), FDataLinks.end(), Link);
  if (it != FDataLinks.end()) FDataLinks.erase(it);
  if (FDataSet && !FDataSet->ComponentState().Contains(csDestroying)) FDataSet->UpdateBufferCount();
}

namespace {
void SetStateChangeEvent(TDataSource& d, const TNotifyEvent& e) {
  d.OnStateChange = e;
}
void SetDataChangeEvent(TDataSource& d, const TDataChangeEvent& e) {
  d.OnDataChange = e;
}
void SetUpdateDataEvent(TDataSource& d, const TNotifyEvent& e) {
  d.OnUpdateData = e;
}
}  // namespace

VCL_REGISTER_CLASS(TDataSource, [](TClassBuilder<TDataSource>& c) {
  c.Prop("AutoEdit", &TDataSource::AutoEdit, &TDataSource::SetAutoEdit, true);
  c.Ref("DataSet", &TDataSource::DataSet, &TDataSource::SetDataSet);
  c.Prop("Enabled", &TDataSource::Enabled, &TDataSource::SetEnabled, true);
  c.Event("OnDataChange", &TDataSource::OnDataChange, &SetDataChangeEvent);
  c.Event("OnStateChange", &TDataSource::OnStateChange, &SetStateChangeEvent);
  c.Event("OnUpdateData", &TDataSource::OnUpdateData, &SetUpdateDataEvent);
})

// ---------------------------------------------------------------------------------------------
// TDataLink

TDataLink::TDataLink() = default;

TDataLink::~TDataLink() {
  FActive = false;
  FEditing = false;
  FDataSourceFixed = false;
  if (FDataSource) {
    TDataSource* ds = FDataSource;
    FDataSource = nullptr;
    ds->RemoveDataLink(this);
  }
}

TDataSet* TDataLink::DataSet() const {
  return FDataSource ? FDataSource->DataSet() : nullptr;
}

void TDataLink::SetDataSource(TDataSource* Value) {
  if (Value == FDataSource) return;
  if (FDataSourceFixed)
    DatabaseError("Die Datenquelle dieser Verbindung kann nicht geändert werden");
  if (FDataSource) {
    TDataSource* old = FDataSource;
    FDataSource = nullptr;
    old->RemoveDataLink(this);
  }
  FDataSource = Value;
  if (FDataSource) FDataSource->AddDataLink(this);
  UpdateState();
}

void TDataLink::SetReadOnly(bool Value) {
  if (FReadOnly == Value) return;
  FReadOnly = Value;
  UpdateState();
}

void TDataLink::SetBufferCount(int Value) {
  if (Value < 1) Value = 1;
  if (FBufferCount == Value) return;
  FBufferCount = Value;
  if (TDataSet* ds = DataSet(); ds && FActive) {
    ds->UpdateBufferCount();
    UpdateRange();
  }
}

int TDataLink::ActiveRecord() const {
  TDataSet* ds = DataSet();
  if (!ds || !FActive) return 0;
  if (ds->State() == dsSetKey) return 0;
  return ds->ActiveRecord() - FFirstRecord;
}

void TDataLink::SetActiveRecord(int Value) {
  TDataSet* ds = DataSet();
  if (!ds || !FActive || ds->State() == dsSetKey) return;
  int target = Value + FFirstRecord;
  if (target < 0 || target >= std::max(ds->WindowRecordCount(), 1)) return;
  ds->FActiveRecord = target;
}

int TDataLink::RecordCount() const {
  TDataSet* ds = DataSet();
  if (!ds || !FActive) return 0;
  if (ds->State() == dsSetKey) return 1;
  int n = ds->WindowRecordCount() - FFirstRecord;
  return std::clamp(n, 0, FBufferCount);
}

bool TDataLink::Edit() {
  if (!FReadOnly && FDataSource) FDataSource->Edit();
  return FEditing;
}

void TDataLink::UpdateRecord() {
  FUpdating = true;
  Finally done([this] { FUpdating = false; });
  UpdateData();
}

void TDataLink::DataSetScrolled(int) {
  DataSetChanged();
}

void TDataLink::UpdateState() {
  bool active = FDataSource && FDataSource->State() != dsInactive;
  SetActive(active);
  SetEditing(active && IsEditMode(FDataSource->State()) && !FReadOnly);
}

void TDataLink::SetActive(bool Value) {
  if (FActive == Value) return;
  FActive = Value;
  if (Value) {
    FFirstRecord = 0;
    UpdateRange();
  } else {
    FFirstRecord = 0;
  }
  ActiveChanged();
}

void TDataLink::SetEditing(bool Value) {
  if (FEditing == Value) return;
  FEditing = Value;
  EditingChanged();
}

// Keeps the dataset's active record inside the link's window [first, first + BufferCount).
void TDataLink::UpdateRange() {
  TDataSet* ds = DataSet();
  if (!ds) return;
  int active = ds->ActiveRecord();
  int lo = std::max(0, active - FBufferCount + 1);
  int hi = std::max(0, ds->BufferCount() - FBufferCount);
  hi = std::min(hi, active);
  FFirstRecord = std::clamp(FFirstRecord, lo, std::max(lo, hi));
}

void TDataLink::DataEvent(TDataEvent Event, intptr_t Info) {
  if (Event == deUpdateState) {
    UpdateState();
    return;
  }
  if (!FActive) return;
  switch (Event) {
    case deFieldChange:
    case deRecordChange:
      if (!FUpdating) RecordChanged(reinterpret_cast<TField*>(Info));
      break;
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange: {
      // Info of a scroll: how far the dataset's buffers moved (negative when its window moved
      // forward). The link first keeps showing the same records, then clamps its window around
      // the active record; what remains is how far its own view scrolled.
      int shifted = FFirstRecord + (Event == deDataSetScroll ? static_cast<int>(Info) : 0);
      FFirstRecord = shifted;
      UpdateRange();
      if (Event == deDataSetScroll)
        DataSetScrolled(FFirstRecord - shifted);
      else if (Event == deLayoutChange)
        LayoutChanged();
      else
        DataSetChanged();
      break;
    }
    case deUpdateRecord:
      UpdateRecord();
      break;
    case deUpdateState:
      break;
    case deCheckBrowseMode:
      CheckBrowseMode();
      break;
    case deFocusControl:
      FocusControl(reinterpret_cast<TField**>(Info));
      break;
    case deDisabledStateChange:
      DisabledStateChanged(Info != 0);
      break;
    default:
      break;
  }
}

VCL_REGISTER_CLASS(TDataLink, [](TClassBuilder<TDataLink>&) {})
VCL_REGISTER_CLASS(TDetailDataLink, [](TClassBuilder<TDetailDataLink>&) {})

// ---------------------------------------------------------------------------------------------
// TMasterDataLink

TMasterDataLink::TMasterDataLink(TDataSet* DataSet) : FDataSet(DataSet) {}

void TMasterDataLink::SetFieldNames(const std::string& Value) {
  if (FFieldNames == Value) return;
  FFieldNames = Value;
  ActiveChanged();
}

void TMasterDataLink::ActiveChanged() {
  FFields.clear();
  if (Active()) {
    try {
      DataSet()->GetFieldList(FFields, FFieldNames);
    } catch (...) {
      FFields.clear();
      throw;
    }
  }
  if (FDataSet && FDataSet->Active() && !FDataSet->ComponentState().Contains(csDestroying)) {
    if (Active() && !FFields.empty()) {
      if (OnMasterChange) OnMasterChange(this);
    } else if (OnMasterDisable) {
      OnMasterDisable(this);
    }
  }
}

void TMasterDataLink::CheckBrowseMode() {
  if (FDataSet && FDataSet->Active()) FDataSet->CheckBrowseMode();
}

void TMasterDataLink::LayoutChanged() {
  ActiveChanged();
}

void TMasterDataLink::RecordChanged(TField* Field) {
  if (!DataSource() || DataSource()->State() == dsSetKey) return;
  if (!FDataSet || !FDataSet->Active() || FFields.empty()) return;
  if (Field && std::find(FFields.begin(), FFields.end(), Field) == FFields.end()) return;
  if (OnMasterChange) OnMasterChange(this);
}

VCL_REGISTER_CLASS(TMasterDataLink, [](TClassBuilder<TMasterDataLink>&) {})
