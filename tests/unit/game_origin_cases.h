#pragma once

// One table for the rule of the game's origins, passed by the shell's C++ (GameHosts) and by the
// pages' script (bridge/core/game_origin.js, in the GUI tests).
namespace game_origin_cases {

inline constexpr char kLoginHost[] = "Login.Example.COM:8080";
inline constexpr char kExtraHosts[] =
    " res.example.org , *.cdn.example.net,10.0.0.7, [::1]:9000, wss.example.org:443,"
    "https://secure.example.org, HTTPS://*.s.example.net:8443/, http://plain.example.org,"
    "ftp://ftp.example.org, https://path.example.org/x, me@at.example.org";

struct Case {
  const char* origin;
  bool game;
};

inline constexpr Case kCases[] = {
    {"http://login.example.com:8080", true},
    {"https://LOGIN.example.com:8080", true},
    {"ws://login.example.com:8080", true},
    {"http://login.example.com", false},  // the login host's name on another port
    {"http://login.example.com:18001", false},
    {"http://res.example.org", true},
    {"https://res.example.org", true},
    {"http://res.example.org:80", true},
    // A user before the host names no host.
    {"http://res.example.org:80@evil.org", false},
    {"http://evil.org@res.example.org", true},
    {"https://res.example.org:443", true},
    {"http://res.example.org:8080", false},
    {"https://res.example.org:80", false},
    {"http://a.cdn.example.net", true},
    {"http://x.y.cdn.example.net", true},
    {"http://cdn.example.net", false},
    {"http://evilcdn.example.net", false},
    {"http://10.0.0.7", true},
    {"http://10.0.0.70", false},
    {"http://[::1]:9000", true},
    {"http://[::1]", false},
    {"http://wss.example.org", false},
    {"https://wss.example.org", true},
    {"http://login.example.com.evil.org:8080", false},
    {"http://evillogin.example.com:8080", false},
    {"ftp://res.example.org", false},
    // Written with a scheme: that scheme (and its WebSocket) only, on its default port.
    {"https://secure.example.org", true},
    {"wss://secure.example.org", true},
    {"https://secure.example.org:443", true},
    {"http://secure.example.org", false},
    {"http://secure.example.org:443", false},
    {"ws://secure.example.org:443", false},
    {"https://a.s.example.net:8443", true},
    {"http://a.s.example.net:8443", false},
    {"https://a.s.example.net", false},
    {"http://plain.example.org", true},
    {"ws://plain.example.org", true},
    {"https://plain.example.org", false},
    {"https://plain.example.org:80", false},
    // Settings that name another scheme, a path or a user admit no one.
    {"http://ftp.example.org", false},
    {"https://path.example.org", false},
    {"http://at.example.org", false},
    {"file:///etc", false},
    {"null", false},
    {"", false},
};

}  // namespace game_origin_cases
