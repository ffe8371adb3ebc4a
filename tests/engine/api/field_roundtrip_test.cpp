// Every field type through the C API: a table is created, filled with one record of values and
// one of nulls, closed, and read back by another process, which writes what it reads to a file
// that this process compares.
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "tests/engine/api/api_fixture.h"

namespace ace_api_test {
namespace {

// One field of the test table: how it is created, set and read back as text.
struct FieldCase {
  const char* name;
  const char* spec;
  std::function<UNSIGNED32(ADSHANDLE, const UNSIGNED8*)> set;
  std::function<std::string(ADSHANDLE, const UNSIGNED8*)> read;
  std::string expected;
};

std::string ReadText(ADSHANDLE t, const UNSIGNED8* f) {
  UNSIGNED8 buf[4096];
  UNSIGNED32 len = sizeof buf;
  UNSIGNED32 rc = AdsGetField(t, f, buf, &len, ADS_TRIM);
  if (rc != 0) return "error " + std::to_string(rc);
  return std::string(reinterpret_cast<char*>(buf), len);
}

std::string ReadWide(ADSHANDLE t, const UNSIGNED8* f) {
  WCHAR buf[2048];
  UNSIGNED32 len = 2048;
  UNSIGNED32 rc = AdsGetFieldW(t, f, buf, &len, ADS_RTRIM);
  if (rc != 0) return "error " + std::to_string(rc);
  std::string out;
  for (UNSIGNED32 i = 0; i < len; ++i) out += std::to_string(static_cast<unsigned>(buf[i])) + ".";
  return out;
}

std::string ReadLong(ADSHANDLE t, const UNSIGNED8* f) {
  SIGNED32 v = 0;
  UNSIGNED32 rc = AdsGetLong(t, f, &v);
  return rc ? "error " + std::to_string(rc) : std::to_string(v);
}

std::string ReadDouble(ADSHANDLE t, const UNSIGNED8* f) {
  DOUBLE v = 0;
  UNSIGNED32 rc = AdsGetDouble(t, f, &v);
  if (rc) return "error " + std::to_string(rc);
  std::ostringstream s;
  s << v;
  return s.str();
}

// Binary contents as their length and a checksum of the bytes.
std::string ReadBinary(ADSHANDLE t, const UNSIGNED8* f) {
  UNSIGNED32 total = 0;
  UNSIGNED32 rc = AdsGetBinaryLength(t, f, &total);
  if (rc) return "error " + std::to_string(rc);
  std::vector<UNSIGNED8> data(total + 1);
  UNSIGNED32 got = 0;
  // Read in chunks of 100 to exercise the offset.
  for (UNSIGNED32 offset = 0; offset < total;) {
    UNSIGNED32 len = 100;
    rc = AdsGetBinary(t, f, offset, data.data() + offset, &len);
    if (rc || len == 0) return "error " + std::to_string(rc);
    offset += len;
    got = offset;
  }
  uint32_t sum = 0;
  for (UNSIGNED32 i = 0; i < got; ++i) sum = sum * 31 + data[i];
  return std::to_string(got) + ":" + std::to_string(sum);
}

std::string BinarySignature(const std::vector<UNSIGNED8>& data) {
  uint32_t sum = 0;
  for (UNSIGNED8 b : data) sum = sum * 31 + b;
  return std::to_string(data.size()) + ":" + std::to_string(sum);
}

std::vector<UNSIGNED8> Pattern(size_t n) {
  std::vector<UNSIGNED8> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<UNSIGNED8>((i * 7) % 256);  // zeros included
  return v;
}

UNSIGNED32 SetText(ADSHANDLE t, const UNSIGNED8* f, const std::string& s) {
  return AdsSetField(t, f, U(s), static_cast<UNSIGNED32>(s.size()));
}

UNSIGNED32 SetWide(ADSHANDLE t, const UNSIGNED8* f, const std::u16string& s) {
  return AdsSetFieldW(t, f, s.data(), static_cast<UNSIGNED32>(s.size()));
}

std::string WideSignature(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out += std::to_string(static_cast<unsigned>(c)) + ".";
  return out;
}

UNSIGNED32 SetInChunks(ADSHANDLE t, const UNSIGNED8* f, UNSIGNED16 kind,
                       const std::vector<UNSIGNED8>& data) {
  const auto total = static_cast<UNSIGNED32>(data.size());
  for (UNSIGNED32 offset = 0; offset < total; offset += 256) {
    UNSIGNED32 n = std::min<UNSIGNED32>(256, total - offset);
    if (UNSIGNED32 rc = AdsSetBinary(t, f, kind, total, offset, data.data() + offset, n)) return rc;
  }
  return 0;
}

const std::string kLongText = [] {
  std::string s;
  for (int i = 0; i < 120; ++i) s += "Zeile " + std::to_string(i) + " mit Text;";
  return s;
}();
const std::u16string kWide = u"Gr\u00fc\u00dfe \u20ac";

std::vector<FieldCase> AdtCases(const std::string& dir) {
  std::vector<UNSIGNED8> blob = Pattern(700);
  std::vector<UNSIGNED8> image = Pattern(333);
  std::ofstream(dir + "/bild.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), image.size());
  const std::string image_file = dir + "/bild.bin";
  return {
      {"CharF", "Char,20",
       [](ADSHANDLE t, const UNSIGNED8* f) { return SetText(t, f, "Hallo Welt"); }, ReadText,
       "Hallo Welt"},
      {"CiF", "CIChar,10", [](ADSHANDLE t, const UNSIGNED8* f) { return SetText(t, f, "abc"); },
       ReadText, "abc"},
      {"NumF", "Num,10,2",
       [](ADSHANDLE t, const UNSIGNED8* f) { return AdsSetDouble(t, f, 1234.5); }, ReadDouble,
       "1234.5"},
      {"DateF", "Date", [](ADSHANDLE t, const UNSIGNED8* f) { return AdsSetJulian(t, f, 2451545); },
       [](ADSHANDLE t, const UNSIGNED8* f) {
         SIGNED32 v = 0;
         UNSIGNED32 rc = AdsGetJulian(t, f, &v);
         return rc ? "error " + std::to_string(rc) : std::to_string(v);
       },
       "2451545"},
      {"LogF", "Logical", [](ADSHANDLE t, const UNSIGNED8* f) { return AdsSetLogical(t, f, 1); },
       [](ADSHANDLE t, const UNSIGNED8* f) {
         UNSIGNED16 v = 0;
         UNSIGNED32 rc = AdsGetLogical(t, f, &v);
         return rc ? "error " + std::to_string(rc) : std::to_string(v);
       },
       "1"},
      {"MemoF", "Memo", [](ADSHANDLE t, const UNSIGNED8* f) { return SetText(t, f, kLongText); },
       ReadText, kLongText},
      {"BinF", "Binary",
       [blob](ADSHANDLE t, const UNSIGNED8* f) { return SetInChunks(t, f, ADS_BINARY, blob); },
       ReadBinary, BinarySignature(blob)},
      {"ImgF", "Image",
       [image_file](ADSHANDLE t, const UNSIGNED8* f) {
         return AdsFileToBinary(t, f, ADS_IMAGE, U(image_file));
       },
       ReadBinary, BinarySignature(image)},
      {"VarF", "Varchar,30",
       [](ADSHANDLE t, const UNSIGNED8* f) { return SetText(t, f, "variabler Text"); }, ReadText,
       "variabler Text"},
      {"DblF", "Double,2", [](ADSHANDLE t, const UNSIGNED8* f) { return AdsSetDouble(t, f, 3.25); },
       ReadDouble, "3.25"},
      {"IntF", "Integer", [](ADSHANDLE t, const UNSIGNED8* f) { return AdsSetLong(t, f, -123456); },
       ReadLong, "-123456"},
      {"ShortF", "ShortInt",
       [](ADSHANDLE t, const UNSIGNED8* f) { return AdsSetShort(t, f, -321); },
       [](ADSHANDLE t, const UNSIGNED8* f) {
         SIGNED16 v = 0;
         UNSIGNED32 rc = AdsGetShort(t, f, &v);
         return rc ? "error " + std::to_string(rc) : std::to_string(v);
       },
       "-321"},
      {"TimeF", "Time",
       [](ADSHANDLE t, const UNSIGNED8* f) { return AdsSetMilliseconds(t, f, 45296789); },
       [](ADSHANDLE t, const UNSIGNED8* f) {
         SIGNED32 v = 0;
         UNSIGNED32 rc = AdsGetMilliseconds(t, f, &v);
         return rc ? "error " + std::to_string(rc) : std::to_string(v);
       },
       "45296789"},
      {"TsF", "TimeStamp",
       [](ADSHANDLE t, const UNSIGNED8* f) { return SetText(t, f, "2001-02-03 04:05:06"); },
       [](ADSHANDLE t, const UNSIGNED8* f) {
         SIGNED32 day = 0;
         SIGNED32 ms = 0;
         UNSIGNED32 rc = AdsGetJulian(t, f, &day);
         if (rc == 0) rc = AdsGetMilliseconds(t, f, &ms);
         return rc ? "error " + std::to_string(rc) : std::to_string(day) + "/" + std::to_string(ms);
       },
       "2451944/14706000"},
      {"RawF", "Raw,6",
       [](ADSHANDLE t, const UNSIGNED8* f) {
         const UNSIGNED8 bytes[6] = {0, 1, 2, 250, 0, 5};
         return AdsSetFieldRaw(t, f, bytes, 6);
       },
       ReadBinary, BinarySignature({0, 1, 2, 250, 0, 5})},
      {"CurF", "CurDouble,2",
       [](ADSHANDLE t, const UNSIGNED8* f) { return AdsSetDouble(t, f, 19.99); }, ReadDouble,
       "19.99"},
      {"MoneyF", "Money", [](ADSHANDLE t, const UNSIGNED8* f) { return SetText(t, f, "12.3456"); },
       ReadText, "12.3456"},
      {"NcharF", "NChar,8", [](ADSHANDLE t, const UNSIGNED8* f) { return SetWide(t, f, kWide); },
       ReadWide, WideSignature(kWide)},
      {"NvarF", "NVarchar,12", [](ADSHANDLE t, const UNSIGNED8* f) { return SetWide(t, f, kWide); },
       ReadWide, WideSignature(kWide)},
      {"NmemoF", "NMemo",
       [](ADSHANDLE t, const UNSIGNED8* f) { return SetWide(t, f, kWide + kWide); }, ReadWide,
       WideSignature(kWide + kWide)},
  };
}

std::vector<FieldCase> DbfCases(bool vfp) {
  std::vector<UNSIGNED8> blob = Pattern(500);
  std::vector<FieldCase> cases = {
      {"CHARF", "Char,20",
       [](ADSHANDLE t, const UNSIGNED8* f) { return SetText(t, f, "Hallo Welt"); }, ReadText,
       "Hallo Welt"},
      {"NUMF", "Num,10,2",
       [](ADSHANDLE t, const UNSIGNED8* f) { return AdsSetDouble(t, f, -42.25); }, ReadText,
       "-42.25"},
      {"DATEF", "Date", [](ADSHANDLE t, const UNSIGNED8* f) { return SetText(t, f, "20240229"); },
       [](ADSHANDLE t, const UNSIGNED8* f) {
         SIGNED32 v = 0;
         UNSIGNED32 rc = AdsGetJulian(t, f, &v);
         return rc ? "error " + std::to_string(rc) : std::to_string(v);
       },
       "2460370"},
      {"LOGF", "Logical", [](ADSHANDLE t, const UNSIGNED8* f) { return AdsSetLogical(t, f, 1); },
       ReadText, "T"},
      {"MEMOF", "Memo", [](ADSHANDLE t, const UNSIGNED8* f) { return SetText(t, f, kLongText); },
       ReadText, kLongText},
  };
  if (vfp) {
    cases.push_back({"INTF", "Integer",
                     [](ADSHANDLE t, const UNSIGNED8* f) { return AdsSetLong(t, f, 77); }, ReadLong,
                     "77"});
    cases.push_back({"DBLF", "Double,2",
                     [](ADSHANDLE t, const UNSIGNED8* f) { return AdsSetDouble(t, f, 0.5); },
                     ReadDouble, "0.5"});
    cases.push_back(
        {"TSF", "TimeStamp",
         [](ADSHANDLE t, const UNSIGNED8* f) { return SetText(t, f, "2001-02-03 04:05:06"); },
         [](ADSHANDLE t, const UNSIGNED8* f) {
           SIGNED32 day = 0;
           SIGNED32 ms = 0;
           UNSIGNED32 rc = AdsGetJulian(t, f, &day);
           if (rc == 0) rc = AdsGetMilliseconds(t, f, &ms);
           return rc ? "error " + std::to_string(rc)
                     : std::to_string(day) + "/" + std::to_string(ms);
         },
         "2451944/14706000"});
    cases.push_back({"VARF", "VarCharFox,20",
                     [](ADSHANDLE t, const UNSIGNED8* f) { return SetText(t, f, "kurz"); },
                     ReadText, "kurz"});
    cases.push_back(
        {"BLOBF", "Blob",
         [blob](ADSHANDLE t, const UNSIGNED8* f) { return SetInChunks(t, f, ADS_BINARY, blob); },
         ReadBinary, BinarySignature(blob)});
  }
  return cases;
}

class FieldRoundTripTest : public ApiTest, public ::testing::WithParamInterface<UNSIGNED16> {
 protected:
  std::vector<FieldCase> Cases() {
    return GetParam() == ADS_ADT ? AdtCases(dir_) : DbfCases(GetParam() == ADS_VFP);
  }

  std::string Spec(const std::vector<FieldCase>& cases) {
    std::string spec;
    for (const auto& c : cases) spec += std::string(c.name) + "," + c.spec + ";";
    return spec;
  }
};

TEST_P(FieldRoundTripTest, ValuesAndNullsSurviveAnotherProcess) {
  const std::vector<FieldCase> cases = Cases();
  ADSHANDLE table = Create("alle", GetParam(), Spec(cases));
  ASSERT_NE(0u, table);
  ASSERT_ACE(AdsAppendRecord(table));
  for (const auto& c : cases)
    ASSERT_EQ(0u, c.set(table, U(c.name))) << c.name << ": " << LastErrorText();
  ASSERT_ACE(AdsWriteRecord(table));
  // Values read back in this process, from the engine's copy of the written record.
  for (const auto& c : cases) EXPECT_EQ(c.expected, c.read(table, U(c.name))) << c.name;
  ASSERT_ACE(AdsAppendRecord(table));
  for (const auto& c : cases)
    ASSERT_EQ(0u, AdsSetNull(table, U(c.name))) << c.name << ": " << LastErrorText();
  ASSERT_ACE(AdsCloseTable(table));

  const std::string out = Path("gelesen.txt");
  const UNSIGNED16 type = GetParam();
  int rc = InChild([&] {
    ADSHANDLE conn = 0;
    ADSHANDLE t = 0;
    if (AdsConnect(U(dir_), &conn) != 0) return 2;
    if (AdsOpenTable90(conn, U("alle"), nullptr, type, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                       ADS_CHECK_RIGHTS, 0, nullptr, &t) != 0)
      return 3;
    std::ofstream file(out);
    UNSIGNED32 count = 0;
    AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count);
    file << "count=" << count << "\n";
    for (const auto& c : cases) file << c.name << "=" << c.read(t, U(c.name)) << "\n";
    AdsSkip(t, 1);
    for (const auto& c : cases) {
      UNSIGNED16 null = 0;
      UNSIGNED32 r = AdsIsNull(t, U(c.name), &null);
      UNSIGNED16 empty = 0;
      UNSIGNED32 r2 = AdsIsEmpty(t, U(c.name), &empty);
      file << c.name << ".null=" << (r ? 9 : null) << (r2 ? 9 : empty) << "\n";
    }
    file.close();
    return AdsDisconnect(conn) == 0 ? 0 : 4;
  });
  ASSERT_EQ(0, rc);
  std::map<std::string, std::string> read;
  std::ifstream in(out);
  for (std::string line; std::getline(in, line);) {
    size_t eq = line.find('=');
    read[line.substr(0, eq)] = line.substr(eq + 1);
  }
  EXPECT_EQ("2", read["count"]);
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, read[c.name]) << c.name;
    // On DBF tables a null and an empty value are one; either way both tests answer 1.
    EXPECT_EQ("11", read[std::string(c.name) + ".null"]) << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, FieldRoundTripTest,
                         ::testing::Values(ADS_ADT, ADS_CDX, ADS_NTX, ADS_VFP),
                         [](const auto& info) {
                           switch (info.param) {
                             case ADS_ADT:
                               return std::string("Adt");
                             case ADS_CDX:
                               return std::string("Cdx");
                             case ADS_NTX:
                               return std::string("Ntx");
                             default:
                               return std::string("Vfp");
                           }
                         });

}  // namespace
}  // namespace ace_api_test
