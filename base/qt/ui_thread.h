#pragma once

#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <cstdlib>

namespace gameshell {

// Engine callbacks into the shell's widgets and pages must arrive on the UI thread; anything else
// is a wiring fault worth stopping for, in release builds too.
#define GS_REQUIRE_UI_THREAD()                                                    \
  do {                                                                            \
    if (QThread::currentThread() != QCoreApplication::instance()->thread()) {     \
      std::fprintf(stderr, "gameshell: %s called off the UI thread\n", __func__); \
      std::abort();                                                               \
    }                                                                             \
  } while (false)

inline bool OnUiThread() {
  return QCoreApplication::instance() &&
         QThread::currentThread() == QCoreApplication::instance()->thread();
}

}  // namespace gameshell
