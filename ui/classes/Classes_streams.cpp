// TStream and its memory, bytes, string and file descendants.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "ui/classes/Classes.h"

// ---------------------------------------------------------------------------------------------
// TStream

VCL_REGISTER_CLASS(TStream, [](TClassBuilder<TStream>&) {})

int64_t TStream::Size() {
  int64_t pos = Seek(0, soCurrent);
  int64_t end = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return end;
}

void TStream::SetSize(int64_t) {
  throw EStreamError("Die Größe dieses Streams kann nicht geändert werden");
}

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
  if (Count < 0 || Read(Buffer, Count) != Count) throw EReadError("Stream-Lesefehler");
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
  if (Count < 0 || Write(Buffer, Count) != Count) throw EWriteError("Stream-Schreibfehler");
}

int64_t TStream::CopyFrom(TStream& Source, int64_t Count) {
  if (Count == 0) {
    Source.SetPosition(0);
    Count = Source.Size();
  }
  int64_t done = 0;
  char buf[65536];
  while (done < Count) {
    int64_t n = std::min<int64_t>(Count - done, static_cast<int64_t>(sizeof buf));
    Source.ReadBuffer(buf, n);
    WriteBuffer(buf, n);
    done += n;
  }
  return done;
}

// ---------------------------------------------------------------------------------------------
// TMemoryStream

VCL_REGISTER_CLASS(TMemoryStream, [](TClassBuilder<TMemoryStream>&) {})

int64_t TMemoryStream::Read(void* Buffer, int64_t Count) {
  int64_t avail = static_cast<int64_t>(FData.size()) - FPosition;
  int64_t n = std::max<int64_t>(0, std::min(Count, avail));
  if (n > 0) std::memcpy(Buffer, FData.data() + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  int64_t end = FPosition + Count;
  if (end > static_cast<int64_t>(FData.size())) FData.resize(static_cast<size_t>(end));
  std::memcpy(FData.data() + FPosition, Buffer, static_cast<size_t>(Count));
  FPosition = end;
  return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int64_t base = Origin == soBeginning ? 0 : Origin == soCurrent ? FPosition : Size();
  int64_t pos = base + Offset;
  if (pos < 0) throw EStreamError("Ungültige Stream-Position");
  FPosition = pos;  // beyond the end is allowed; a later Write fills the gap with zeros
  return FPosition;
}

void TMemoryStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) throw EStreamError("Ungültige Stream-Größe");
  FData.resize(static_cast<size_t>(NewSize));
  if (FPosition > NewSize) FPosition = NewSize;
}

void TMemoryStream::Clear() {
  FData.clear();
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& Stream) {
  Stream.SetPosition(0);
  int64_t n = Stream.Size();
  SetSize(n);
  if (n > 0) Stream.ReadBuffer(FData.data(), n);
  FPosition = 0;
}

void TMemoryStream::SaveToStream(TStream& Stream) {
  if (!FData.empty()) Stream.WriteBuffer(FData.data(), static_cast<int64_t>(FData.size()));
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead);
  LoadFromStream(f);
}

void TMemoryStream::SaveToFile(const std::string& FileName) {
  TFileStream f(FileName, fmCreate);
  SaveToStream(f);
}

// ---------------------------------------------------------------------------------------------
// TBytesStream, TStringStream

VCL_REGISTER_CLASS(TBytesStream, [](TClassBuilder<TBytesStream>&) {})

TBytesStream::TBytesStream(std::vector<uint8_t> Bytes) {
  FData = std::move(Bytes);
}

VCL_REGISTER_CLASS(TStringStream, [](TClassBuilder<TStringStream>&) {})

TStringStream::TStringStream(const std::string& S) {
  FData.assign(S.begin(), S.end());
}

std::string TStringStream::DataString() const {
  return std::string(FData.begin(), FData.end());
}

std::string TStringStream::ReadString(int64_t Count) {
  std::string s(static_cast<size_t>(std::max<int64_t>(0, Count)), '\0');
  s.resize(static_cast<size_t>(Read(s.data(), static_cast<int64_t>(s.size()))));
  return s;
}

void TStringStream::WriteString(const std::string& S) {
  WriteBuffer(S.data(), static_cast<int64_t>(S.size()));
}

// ---------------------------------------------------------------------------------------------
// TFileStream

VCL_REGISTER_CLASS(TFileStream, [](TClassBuilder<TFileStream>&) {})

TFileStream::TFileStream(const std::string& FileName, uint16_t Mode) : FFileName(FileName) {
  if (Mode == fmCreate || (Mode & 0xFF00) == fmCreate) {
    FHandle = ::open(FileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (FHandle < 0)
      throw EFCreateError("Datei " + FileName + " kann nicht erstellt werden. " +
                          std::strerror(errno));
    return;
  }
  int flags = (Mode & 3) == fmOpenWrite       ? O_WRONLY
              : (Mode & 3) == fmOpenReadWrite ? O_RDWR
                                              : O_RDONLY;
  FHandle = ::open(FileName.c_str(), flags | O_CLOEXEC);
  if (FHandle < 0)
    throw EFOpenError("Datei " + FileName + " kann nicht geöffnet werden. " + std::strerror(errno));
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

int64_t TFileStream::Read(void* Buffer, int64_t Count) {
  int64_t done = 0;
  while (done < Count) {
    ssize_t n =
        ::read(FHandle, static_cast<char*>(Buffer) + done, static_cast<size_t>(Count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Write(const void* Buffer, int64_t Count) {
  int64_t done = 0;
  while (done < Count) {
    ssize_t n = ::write(FHandle, static_cast<const char*>(Buffer) + done,
                        static_cast<size_t>(Count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int whence = Origin == soBeginning ? SEEK_SET : Origin == soCurrent ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(FHandle, static_cast<off_t>(Offset), whence);
  if (r < 0) throw EStreamError("Ungültige Stream-Position in " + FFileName);
  return r;
}

void TFileStream::SetSize(int64_t NewSize) {
  if (::ftruncate(FHandle, static_cast<off_t>(NewSize)) != 0)
    throw EStreamError("Größe von " + FFileName + " kann nicht geändert werden. " +
                       std::strerror(errno));
  if (Position() > NewSize) SetPosition(NewSize);
}
