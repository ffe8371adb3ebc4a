// Shared pieces of the benchmark programs: the table Kinder as the application keeps it (its
// columns per table format and a seeded generator of its rows, the same rows on every machine),
// a wall clock, the process's peak memory and the one line every program prints.
//
// Every program measures one thing once per run and prints a line
//   RESULT <name> seconds=<wall time> rows=<rows handled> maxrss_kib=<peak RSS>
// scripts/bench runs the programs of a pair alternately, collects these lines and prints medians
// and ratios. Failures go to stderr with a non-zero exit code; no figure is printed then.
#pragma once

#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "ace.h"

namespace bench {

// ---- Clock, memory, output --------------------------------------------------------------------

class Stopwatch {
 public:
  Stopwatch() : start_(std::chrono::steady_clock::now()) {}
  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_;
};

// The peak resident set of this process so far, in KiB.
inline long MaxRssKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

inline void PrintResult(const std::string& name, double seconds, uint64_t rows) {
  std::printf("RESULT %s seconds=%.6f rows=%llu maxrss_kib=%ld\n", name.c_str(), seconds,
              static_cast<unsigned long long>(rows), MaxRssKib());
  std::fflush(stdout);
}

[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "bench: %s\n", what.c_str());
  std::exit(1);
}

inline const UNSIGNED8* U8(const std::string& s) {
  return reinterpret_cast<const UNSIGNED8*>(s.c_str());
}

// The engine's last error as text, for failure messages.
inline std::string LastAceError() {
  UNSIGNED32 code = 0;
  UNSIGNED8 text[ADS_MAX_ERROR_LEN + 1] = {};
  UNSIGNED16 len = sizeof text;
  AdsGetLastError(&code, text, &len);
  return std::to_string(code) + " " + reinterpret_cast<const char*>(text);
}

inline void Check(UNSIGNED32 result, const std::string& what) {
  if (result != 0) Fail(what + ": " + LastAceError());
}

// "ADT" -> ADS_ADT, "CDX" -> ADS_CDX; anything else ends the program.
inline UNSIGNED16 TableTypeOf(std::string_view name) {
  if (name == "ADT") return ADS_ADT;
  if (name == "CDX") return ADS_CDX;
  Fail("table type must be ADT or CDX, not " + std::string(name));
}

// ---- The table Kinder --------------------------------------------------------------------------

// Column names per format: DBF tables hold names of at most 10 characters, so the CDX table
// carries shortened names of the same columns (the upgrade's new columns likewise).
struct KinderNames {
  std::vector<std::string> columns;  // the nine columns of the table before the upgrade
  std::vector<std::string> added;    // the four the upgrade adds
};

inline KinderNames NamesFor(UNSIGNED16 table_type) {
  if (table_type == ADS_ADT) {
    return {{"Kind_ID", "Vorname", "Nachname", "Geschlecht", "Geburtsdatum", "Gruppe", "Aufnahme",
             "Betreuungsstunden", "Bemerkung"},
            {"Alter_Stichtag", "Kosten_von", "Kosten_bis", "Migrationshintergrund"}};
  }
  return {{"Kind_ID", "Vorname", "Nachname", "Geschlecht", "Geburtstag", "Gruppe", "Aufnahme",
           "Stunden", "Bemerkung"},
          {"Alter_Stic", "Kosten_von", "Kosten_bis", "Migrations"}};
}

// The engine's field specification of Kinder (as AdsCreateTable90 takes it).
inline std::string KinderFieldSpec(UNSIGNED16 table_type) {
  const KinderNames n = NamesFor(table_type);
  // DBF tables of the CDX type have no binary integers: whole numbers are numeric text.
  const std::string integer = table_type == ADS_ADT ? ",Integer;" : ",Numeric,11,0;";
  return n.columns[0] + integer + n.columns[1] + ",Char,20;" + n.columns[2] + ",Char,25;" +
         n.columns[3] + ",Char,1;" + n.columns[4] + ",Date;" + n.columns[5] + ",Char,15;" +
         n.columns[6] + ",Date;" + n.columns[7] + integer + n.columns[8] + ",Memo";
}

// The upgrade script: four ALTERs, each line followed by CR LF as the query sends its text.
inline std::vector<std::string> UpgradeLines(UNSIGNED16 table_type) {
  const KinderNames n = NamesFor(table_type);
  return {"ALTER TABLE Kinder ADD COLUMN " + n.added[0] + " integer;",
          "ALTER TABLE Kinder ADD COLUMN " + n.added[1] + " date;",
          "ALTER TABLE Kinder ADD COLUMN " + n.added[2] + " date;",
          "ALTER TABLE Kinder ADD COLUMN " + n.added[3] + " char(5);"};
}

struct Date {
  int year = 0, month = 0, day = 0;
  // The Julian day number (proleptic Gregorian calendar).
  int32_t Julian() const {
    const int a = (14 - month) / 12;
    const int y = year + 4800 - a;
    const int m = month + 12 * a - 3;
    return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
  }
  std::string Iso() const {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year % 10000, month % 100, day % 100);
    return text;
  }
};

struct KinderRow {
  int32_t id = 0;
  std::string vorname, nachname, geschlecht;
  Date geburt;
  std::string gruppe;
  Date aufnahme;
  int32_t stunden = 0;
  std::string bemerkung;  // empty: no memo (NULL)
};

// Rows 1, 2, 3, ... of Kinder from a fixed seed: plausible names, groups and dates, a memo on
// five rows of six. Next() gives the next row.
class KinderGenerator {
 public:
  KinderRow Next() {
    static const char* const kVor[] = {
        "Anna",   "Ben",   "Clara",  "David",  "Emma",  "Finn",  "Greta",  "Hannes",
        "Ida",    "Jonas", "Klara",  "Leon",   "Mia",   "Noah",  "Ella",   "Paul",
        "Lina",   "Emil",  "Sophie", "Theo",   "Marie", "Felix", "Lea",    "Anton",
        "Frieda", "Oskar", "Mila",   "Karl",   "Luisa", "Henri", "Yusuf",  "Elif",
        "Mehmet", "Ayse",  "Luca",   "Giulia", "Mateo", "Zofia", "Nikola", "Amira"};
    static const char* const kNach[] = {
        "Mueller", "Schmidt",    "Schneider", "Fischer",  "Weber",     "Meyer",
        "Wagner",  "Becker",     "Schulz",    "Hoffmann", "Schaefer",  "Koch",
        "Bauer",   "Richter",    "Klein",     "Wolf",     "Schroeder", "Neumann",
        "Schwarz", "Zimmermann", "Braun",     "Krueger",  "Hofmann",   "Hartmann",
        "Lange",   "Yilmaz",     "Kaya",      "Rossi",    "Nowak",     "Petrovic"};
    static const char* const kGruppe[] = {"Sonnenblumen", "Marienkaefer", "Regenbogen",
                                          "Igel",         "Fuechse",      "Schmetterlinge"};
    static const char* const kNote[] = {"Allergie: Erdnuesse",  "Mittagsschlaf",
                                        "Abholung durch Oma",   "vegetarisch",
                                        "spricht zweisprachig", ""};
    KinderRow r;
    r.id = ++id_;
    const uint32_t v = Draw() % 40;
    r.vorname = kVor[v];
    r.geschlecht = (v % 2 == 0) ? "w" : "m";
    r.nachname = kNach[Draw() % 30];
    r.gruppe = kGruppe[Draw() % 6];
    const uint32_t d = Draw() % 2190;
    r.geburt = {2019 + static_cast<int>(d / 365), static_cast<int>((d % 365) / 31) % 12 + 1,
                static_cast<int>(d % 28) + 1};
    r.aufnahme = {r.geburt.year + 1 + static_cast<int>(r.id % 3), r.geburt.month % 12 + 1, 1};
    r.stunden = 20 + static_cast<int32_t>(Draw() % 26);
    r.bemerkung = kNote[Draw() % 6];
    return r;
  }

 private:
  // A 64-bit linear congruential generator; the upper bits are the draw.
  uint32_t Draw() {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(state_ >> 33);
  }
  uint64_t state_ = 20261209;
  int32_t id_ = 0;
};

}  // namespace bench
