// The functions the shell gives the game's pages, and the hooks it calls in them. Every frame of
// the game's own hosts has the functions, defined before the page's own scripts run; no other
// origin's frame has them. Each returns undefined and never throws; an argument of another type
// than the one below counts as the empty string (text) or is ignored (C_windowCanClose).

interface Window {
  /** Closes the game window and ends the shell, whatever lock C_windowCanClose set. */
  C_closeWindow(): void;
  /** Maximizes the game window. */
  C_maxWindow(): void;
  /**
   * false: closing the window (its close button, Alt+F4, the system) calls
   * window.onWindowBeforClose instead, or, without such a hook, asks the player. true: closing
   * closes. Holds only while the window shows a page of the game's hosts.
   */
  C_windowCanClose(canClose: boolean): void;
  /**
   * Forgets every stored version of the game's files (the files stay and are replaced as new
   * versions come) and starts the cache generation `generation`. A text with a line break changes
   * nothing.
   */
  C_clearCache(generation: string): void;
  /** Hands `url` to the platform's launcher library to pay; without it, a box says so. */
  C_openPay(url: string): void;
  /** Opens an absolute http or https address in the desktop's browser; anything else, nothing. */
  open(url: string): void;
  /** Ignores its text and reloads the page that called it, once a run. */
  C_SHOWEXIT(text: string): void;
  /**
   * Asks the platform's launcher library to sign the player in; its answer comes as a call of
   * window.UserAuthentic_return. Without the library a box says so, and no answer comes.
   */
  C_UserAuthentic(): void;

  /** The game's exit prompt: called when the player closes the window while it is locked. */
  onWindowBeforClose?: () => void;
  /** The launcher library's answer to C_UserAuthentic: the number it returned, as it returned it. */
  UserAuthentic_return?: (result: number) => void;
}
