// The shell's rule for the game's origins, for the pages' side: a listed host on the port its
// entry names, or on the scheme's default port when it names none; "*.x" entries admit the
// subdomains of x; an entry written with a scheme admits that scheme and its WebSocket only. The
// same rule as GameHosts::AllowsOrigin; `hosts` is GameHostsJson's list.
function isGameOrigin(origin, hosts) {
  var url;
  try {
    url = new URL(origin);
  } catch (e) {
    return false;  // an opaque origin ("null"): sandboxed frames, data: documents
  }
  var defaults = {"http:": 80, "ws:": 80, "https:": 443, "wss:": 443};
  var fallback = defaults[url.protocol];
  if (fallback === undefined) return false;
  var host = url.hostname.toLowerCase();
  if (host.charAt(0) === "[") host = host.slice(1, -1);
  if (host === "") return false;
  var port = url.port === "" ? fallback : parseInt(url.port, 10);
  var secure = url.protocol === "https:" || url.protocol === "wss:";
  return hosts.some(function (entry) {
    if (entry.scheme !== "" && entry.scheme !== (secure ? "https" : "http")) return false;
    var name = entry.subdomains
        ? host.length > entry.name.length + 1 &&
          host.slice(-entry.name.length - 1) === "." + entry.name
        : host === entry.name;
    return name && port === (entry.port === null ? fallback : entry.port);
  });
}
