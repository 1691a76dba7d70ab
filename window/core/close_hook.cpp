#include "window/core/close_hook.h"

namespace gameshell {

std::string CloseHookScript() {
  const std::string nothing = std::string("'") + kNothingRan + "'";
  return "(function () { if (typeof window.onWindowBeforClose !== 'function') return " + nothing +
         "; try { if(window.onWindowBeforClose){window.onWindowBeforClose()} } catch (e) { "
         "return " +
         nothing + "; } })()";
}

}  // namespace gameshell
