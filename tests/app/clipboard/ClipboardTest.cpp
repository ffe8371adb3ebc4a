// AdsImageToClipboard through the Qt writer that the window library installs at start-up, on
// the offscreen platform: an image field arrives as an image with its bytes, a memo as text
// (also characters beyond the 8-bit code page), other binary data as bytes, and from another
// thread too.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include <atomic>
#include <filesystem>
#include <thread>

#include "engine/include/ace.h"
#include "tests/ui/forms/QtTestSupport.h"

namespace {

const UNSIGNED8* U(const char* s) {
  return reinterpret_cast<const UNSIGNED8*>(s);
}

class ClipboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qt_test::EnsureApplication();
    char tmpl[] = "/tmp/ace_clip_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    dir_ = tmpl;
    ASSERT_EQ(0u, AdsConnect60(reinterpret_cast<const UNSIGNED8*>(dir_.c_str()), ADS_LOCAL_SERVER,
                               nullptr, nullptr, 0, &conn_));
    ASSERT_EQ(0u, AdsCreateTable90(conn_, U("bilder"), nullptr, ADS_ADT, ADS_ANSI,
                                   ADS_PROPRIETARY_LOCKING, ADS_CHECK_RIGHTS, 0,
                                   U("Name,Char,10;Bild,Image;Text,NMemo;Roh,Blob;"), 0, nullptr,
                                   &table_));
    ASSERT_EQ(0u, AdsAppendRecord(table_));
  }
  void TearDown() override {
    AdsDisconnect(conn_);
    std::filesystem::remove_all(dir_);
  }

  std::string dir_;
  ADSHANDLE conn_ = 0, table_ = 0;
};

TEST_F(ClipboardTest, AnImageFieldArrivesAsImageAndAMemoAsText) {
  QImage picture(7, 5, QImage::Format_RGB32);
  picture.fill(QColor(10, 200, 30));
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(picture.save(&buffer, "PNG"));
  ASSERT_EQ(0u, AdsSetBinary(table_, U("Bild"), ADS_IMAGE, static_cast<UNSIGNED32>(png.size()), 0,
                             reinterpret_cast<const UNSIGNED8*>(png.constData()),
                             static_cast<UNSIGNED32>(png.size())));
  const std::u16string text = u"Grüße, Καλημέρα";
  ASSERT_EQ(0u, AdsSetStringW(table_, U("Text"), text.data(), static_cast<UNSIGNED32>(text.size())));
  ASSERT_EQ(0u, AdsSetBinary(table_, U("Roh"), ADS_BINARY, 3, 0, U("\x01\x02\x03"), 3));
  ASSERT_EQ(0u, AdsWriteRecord(table_));

  QClipboard* clipboard = QGuiApplication::clipboard();
  ASSERT_EQ(0u, AdsImageToClipboard(table_, U("Bild")));
  const QImage got = clipboard->image();
  ASSERT_FALSE(got.isNull());
  EXPECT_EQ(QSize(7, 5), got.size());
  EXPECT_EQ(QColor(10, 200, 30), got.pixelColor(3, 2));
  EXPECT_EQ(png, clipboard->mimeData()->data("image/png"));

  ASSERT_EQ(0u, AdsImageToClipboard(table_, U("Text")));
  EXPECT_EQ(QString::fromStdU16String(text), clipboard->text());

  ASSERT_EQ(0u, AdsImageToClipboard(table_, U("Roh")));
  EXPECT_EQ(QByteArray("\x01\x02\x03", 3), clipboard->mimeData()->data("application/octet-stream"));

  EXPECT_EQ(5021u, AdsImageToClipboard(table_, U("Name")));  // not a memo field
}

TEST_F(ClipboardTest, AnotherThreadPutsItOnTheClipboardThroughTheApplicationThread) {
  ASSERT_EQ(0u, AdsSetStringW(table_, U("Text"), u"vom Faden", 9));
  ASSERT_EQ(0u, AdsWriteRecord(table_));
  QGuiApplication::clipboard()->clear();
  std::atomic<UNSIGNED32> rc{1};
  std::thread worker([&] { rc = AdsImageToClipboard(table_, U("Text")); });
  // The writer waits for this thread's event loop to run the clipboard work.
  while (rc == 1) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  worker.join();
  EXPECT_EQ(0u, rc.load());
  EXPECT_EQ(QString("vom Faden"), QGuiApplication::clipboard()->text());
}

}  // namespace
