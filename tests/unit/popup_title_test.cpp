#include "window/core/popup_title.h"

#include <gtest/gtest.h>

namespace gameshell {
namespace {

TEST(PopupTitleTest, AnotherHostsPageCannotPassForTheGame) {
  EXPECT_EQ(PopupTitle("Varnholt - Account login", "pay.example.net", false),
            "Varnholt - Account login \xE2\x80\x94 pay.example.net");
  EXPECT_EQ(PopupTitle("", "pay.example.net", false), "pay.example.net");
  EXPECT_EQ(PopupTitle("Shop", "login.example.net", true), "Shop");
  EXPECT_EQ(PopupTitle("about:blank", "", false), "about:blank");
}

}  // namespace
}  // namespace gameshell
