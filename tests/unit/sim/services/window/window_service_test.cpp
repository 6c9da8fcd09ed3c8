// nkhost's window service on its own: what it keeps of each window, the records it fills
// for the library, its input queues and its hooks.

#include <gtest/gtest.h>

#include <cstring>

#include "sim/services/window/window_service.h"

namespace {

using nk::sim::HostWindow;
using nk::sim::Publication;
using nk::sim::WindowService;

template <class T>
T at(const uint8_t* record, size_t offset) {
  T value;
  std::memcpy(&value, record + offset, sizeof value);
  return value;
}

TEST(WindowService, KeepsTheLastPublicationOfEachWindow) {
  WindowService service;
  uint32_t first = service.create("first", 3, 2);
  uint32_t second = service.create("second", 5, 5);
  ASSERT_NE(first, 0u);
  EXPECT_NE(first, second);
  EXPECT_EQ(service.latest()->id, second);

  // Rows 16 bytes apart: only the 12 bytes of each row are kept.
  uint8_t rows[32];
  for (int i = 0; i < 32; ++i) rows[i] = uint8_t(i);
  EXPECT_EQ(service.publish(first, "renamed", rows, 3, 2, 16, 0xFF123456), 1u);
  const HostWindow* w = service.window(first);
  EXPECT_EQ(w->title, "renamed");
  EXPECT_EQ(w->background, 0x123456u);
  ASSERT_EQ(w->pixels.size(), 24u);
  EXPECT_EQ(w->pixels[12], 16);
  EXPECT_EQ(w->publications, 1u);

  EXPECT_EQ(service.publish(first, "renamed", nullptr, 4, 4, 16, 0), 1u);
  EXPECT_TRUE(service.window(first)->pixels.empty());
  EXPECT_EQ(service.window(first)->width, 4);

  // What describes no frame is refused and changes nothing.
  EXPECT_EQ(service.publish(first, "x", rows, 4, 1, 8, 0), 0u);
  EXPECT_EQ(service.publish(first, "x", nullptr, 0, 1, 0, 0), 0u);
  EXPECT_EQ(service.publish(99, "x", nullptr, 1, 1, 4, 0), 0u);
  EXPECT_EQ(service.window(first)->title, "renamed");
  EXPECT_EQ(service.create("bad", 0, 5), 0u);

  service.fail_publications(1);
  EXPECT_EQ(service.publish(second, "s", nullptr, 1, 1, 4, 0), 0u);
  EXPECT_EQ(service.publish(second, "s", nullptr, 1, 1, 4, 0), 1u);

  service.destroy(second);
  EXPECT_EQ(service.latest()->id, first);
  EXPECT_EQ(service.window(second), nullptr);
  service.destroy(second);  // reported, ignored
  EXPECT_EQ(service.windows().size(), 1u);
}

TEST(WindowService, TheWindowRecordCarriesCloseFocusAndPosition) {
  WindowService service;
  EXPECT_FALSE(service.request_close());
  EXPECT_FALSE(service.move(1, 1));
  uint32_t id = service.create("w", 10, 10);
  uint8_t info[112];
  std::memset(info, 0xEE, sizeof info);
  ASSERT_EQ(service.query(id, info), 1);
  EXPECT_EQ(at<uint32_t>(info, 36), 2u);  // focused, not closing
  EXPECT_TRUE(service.move(-20, 300));
  EXPECT_TRUE(service.set_focus(false));
  EXPECT_TRUE(service.request_close());
  service.query(id, info);
  EXPECT_EQ(at<uint32_t>(info, 36), 1u);
  EXPECT_EQ(at<int32_t>(info, 40), -20);
  EXPECT_EQ(at<int32_t>(info, 44), 300);
  EXPECT_EQ(service.query(id + 1, info), 0);

  service.close(id, 0, 0, 1, 1);
  EXPECT_TRUE(service.window(id)->closed);
}

TEST(WindowService, PointerRecordsAbsoluteAndRelative) {
  WindowService service;
  uint8_t record[32];
  ASSERT_EQ(service.pointer_poll(record), 1);
  EXPECT_EQ(at<uint32_t>(record, 0), 0u);  // nothing known yet

  service.pointer_abs(100, 200, 32767, 0);
  service.set_buttons(5);
  service.pointer_poll(record);
  EXPECT_EQ(at<uint32_t>(record, 0), 1u);
  EXPECT_EQ(at<uint32_t>(record, 4), 5u);
  EXPECT_EQ(at<int32_t>(record, 8), 100);
  EXPECT_EQ(at<int32_t>(record, 12), 200);
  EXPECT_EQ(at<uint32_t>(record, 24), 32767u);

  service.pointer_rel(3, -4);
  service.pointer_rel(INT32_MAX, 0);  // added up, then saturated
  service.pointer_poll(record);
  EXPECT_EQ(at<uint32_t>(record, 0), 2u);  // the absolute position is stale now
  EXPECT_EQ(at<int32_t>(record, 16), INT32_MAX);
  EXPECT_EQ(at<int32_t>(record, 20), -4);
  service.pointer_poll(record);
  EXPECT_EQ(at<uint32_t>(record, 0), 0u);  // motion is reported once
}

TEST(WindowService, TheDisplayRecordIsUsableUntilItsSizeIsZero) {
  WindowService service;
  uint8_t record[52];
  ASSERT_EQ(service.display_info(record), 1);
  EXPECT_NE(at<uint64_t>(record, 0), 0u);
  EXPECT_EQ(at<uint32_t>(record, 12), 1280u * 4);
  EXPECT_EQ(at<uint32_t>(record, 16), 1280u);
  EXPECT_EQ(at<uint32_t>(record, 20), 800u);
  EXPECT_EQ(at<uint32_t>(record, 24), 32u);
  for (size_t pair : {28, 36, 44}) EXPECT_NE(at<uint32_t>(record, pair), 0u);
  service.set_display(0, 0);
  service.display_info(record);
  EXPECT_EQ(at<uint32_t>(record, 16), 0u);
}

TEST(WindowService, KeysQueueInOrderAndEmptyEventsAreDropped) {
  WindowService service;
  service.queue_key('a', 0x1E);
  service.queue_key(0, 0);
  service.queue_key(0, 0x48);
  EXPECT_EQ(service.pending_keys(), 2u);
  EXPECT_EQ(service.key_poll(), 0x1E61u);
  EXPECT_EQ(service.key_poll(), 0x4800u);
  EXPECT_EQ(service.key_poll(), 0u);
}

TEST(WindowService, HooksSeePublicationsFramesAndTheWindowsLife) {
  struct Log : nk::sim::WindowBackend {
    std::string& out;
    explicit Log(std::string& o) : out(o) {}
    void on_create(const HostWindow& w) override { out += "create " + w.title + ";"; }
    void on_publish(const HostWindow& w) override { out += "publish " + w.title + ";"; }
    void on_close(const HostWindow& w) override { out += "close " + w.title + ";"; }
    void on_destroy(const HostWindow& w) override { out += "destroy " + w.title + ";"; }
  };
  WindowService service;
  std::string log;
  service.set_backend(std::make_unique<Log>(log));
  std::vector<std::string> published;
  service.add_publish_observer([&](const Publication& p) {
    published.push_back(p.window.title + " " + std::to_string(p.width) + "x" + std::to_string(p.height) +
                        (p.pixels ? " pixels" : " background"));
  });
  std::vector<uint64_t> frames;
  service.add_frame_observer([&](uint64_t frame) { frames.push_back(frame); });

  uint32_t id = service.create("w", 2, 1);
  uint8_t pixels[8] = {};
  service.publish(id, "w", pixels, 2, 1, 8, 0);
  service.publish(id, "w", nullptr, 2, 1, 8, 0);
  service.fail_publications(1);
  service.publish(id, "w", nullptr, 2, 1, 8, 0);
  service.frame_end();
  service.frame_end();
  service.close(id, 0, 0, 1, 1);
  service.destroy(id);
  EXPECT_EQ(log, "create w;publish w;publish w;close w;destroy w;");
  EXPECT_EQ(published, (std::vector<std::string>{"w 2x1 pixels", "w 2x1 background"}));
  EXPECT_EQ(frames, (std::vector<uint64_t>{1, 2}));
  EXPECT_EQ(service.frames(), 2u);
}

}  // namespace
