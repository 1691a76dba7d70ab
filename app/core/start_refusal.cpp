#include "app/core/start_refusal.h"

namespace gameshell {

StartRefusal HomeDirectoryRefusal(std::string_view directory) {
  const std::string dir(directory);
  return {
      "\xE4\xB8\x8D\xE8\x83\xBD\xE6\x8A\x8A\xE6\xB8\xB8\xE6\x88\x8F\xE6\x96\x87\xE4\xBB\xB6"
      "\xE5\xAD\x98\xE6\x94\xBE\xE5\x9C\xA8\xE4\xB8\xBB\xE7\x9B\xAE\xE5\xBD\x95 " +
          dir +
          " \xE4\xB8\xAD\xEF\xBC\x8C\xE8\xAF\xB7\xE5\x9C\xA8\xE5\x8D\x95\xE7\x8B\xAC\xE7\x9A\x84"
          "\xE7\x9B\xAE\xE5\xBD\x95\xE4\xB8\xAD\xE5\x90\xAF\xE5\x8A\xA8\xE3\x80\x82",
      "will not keep the game's files in the home directory " + dir +
          "; start it in a directory of its own",
      4};
}

StartRefusal EngineFailedRefusal(std::string_view reason) {
  // The sentence's own end is added where it is shown.
  while (reason.ends_with('.')) {
    reason.remove_suffix(1);
  }
  const std::string why(reason);
  // "游戏的浏览器引擎无法启动："
  return {
      "\xE6\xB8\xB8\xE6\x88\x8F\xE7\x9A\x84\xE6\xB5\x8F\xE8\xA7\x88\xE5\x99\xA8\xE5\xBC\x95\xE6\x93"
      "\x8E\xE6\x97\xA0\xE6\xB3\x95\xE5\x90\xAF\xE5\x8A\xA8\xEF\xBC\x9A" +
          why,
      "the browser engine could not start: " + why, 2, true};
}

StartRefusal CacheDirectoryRefusal(std::string_view directory) {
  const std::string dir(directory);
  return {
      "\xE6\x97\xA0\xE6\xB3\x95\xE4\xBD\xBF\xE7\x94\xA8\xE6\xB8\xB8\xE6\x88\x8F\xE7\x9A\x84"
      "\xE7\xBC\x93\xE5\xAD\x98\xE7\x9B\xAE\xE5\xBD\x95 " +
          dir + "\xE3\x80\x82",
      "cannot use the game's cache directory " + dir, 1, true};
}

}  // namespace gameshell
