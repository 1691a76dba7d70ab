"""A game served over https: a certificate the player's machine trusts loads the game and fills
the cache; an expired one or one for another name is refused by the page and by the cache's own
downloads alike. The test authority is trusted by this test's runs alone: in the NSS database of
the run's own home (the engine's) and in a private copy of the system's store, mounted over it in
the run's own mount namespace (the downloads')."""
import datetime
import ipaddress
import os
import shutil
import subprocess
import tempfile
import time
import unittest
import urllib.request


from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import NameOID

from harness import NOBODY, DemoServer, ShellTestCase, ordinary_user

HTTPS_BIN = os.environ.get("GAMESHELL_HTTPS_BIN", "")
HTTPS_PORT = int(os.environ.get("HTTPS_PORT", "0"))
PAGES = os.environ.get("PAGES", "")


def write_pem(path, data):
    with open(path, "wb") as f:
        f.write(data)
    return path


class Authority:
    """A certificate authority of the test's own, and the servers' certificates it signs."""

    def __init__(self, place):
        self.place = place
        self.key = ec.generate_private_key(ec.SECP256R1())
        name = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, "GameShell test authority")])
        now = datetime.datetime.now(datetime.timezone.utc)
        self.name = name
        self.cert = (x509.CertificateBuilder().subject_name(name).issuer_name(name)
                     .public_key(self.key.public_key()).serial_number(x509.random_serial_number())
                     .not_valid_before(now - datetime.timedelta(days=1))
                     .not_valid_after(now + datetime.timedelta(days=30))
                     .add_extension(x509.BasicConstraints(ca=True, path_length=None), critical=True)
                     .add_extension(x509.KeyUsage(False, False, False, False, False, True, True,
                                                  False, False), critical=True)
                     .sign(self.key, hashes.SHA256()))
        self.pem = write_pem(os.path.join(place, "authority.pem"),
                             self.cert.public_bytes(serialization.Encoding.PEM))

    def issue(self, label, names, expired=False):
        """Returns (certificate file, key file) for `names` (host names and IP addresses)."""
        key = ec.generate_private_key(ec.SECP256R1())
        now = datetime.datetime.now(datetime.timezone.utc)
        start = now - datetime.timedelta(days=40 if expired else 1)
        end = now - datetime.timedelta(days=10) if expired else now + datetime.timedelta(days=20)
        alternatives = []
        for name in names:
            try:
                alternatives.append(x509.IPAddress(ipaddress.ip_address(name)))
            except ValueError:
                alternatives.append(x509.DNSName(name))
        cert = (x509.CertificateBuilder()
                .subject_name(x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, names[0])]))
                .issuer_name(self.name).public_key(key.public_key())
                .serial_number(x509.random_serial_number())
                .not_valid_before(start).not_valid_after(end)
                .add_extension(x509.SubjectAlternativeName(alternatives), critical=False)
                .add_extension(x509.ExtendedKeyUsage([x509.oid.ExtendedKeyUsageOID.SERVER_AUTH]),
                               critical=False)
                .sign(self.key, hashes.SHA256()))
        cert_path = write_pem(os.path.join(self.place, label + ".pem"),
                              cert.public_bytes(serialization.Encoding.PEM))
        key_path = write_pem(os.path.join(self.place, label + ".key"), key.private_bytes(
            serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
            serialization.NoEncryption()))
        return cert_path, key_path


@unittest.skipUnless(HTTPS_BIN and HTTPS_PORT and PAGES, "GAMESHELL_HTTPS_BIN is not set")
@unittest.skipUnless(os.geteuid() == 0, "a private mount of the system's store takes root")
class HttpsTest(ShellTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.place = tempfile.mkdtemp(prefix="gs-tls-")
        os.chmod(cls.place, 0o755)
        cls.authority = Authority(cls.place)
        cls.good = cls.authority.issue("good", ["127.0.0.1", "localhost"])
        cls.expired = cls.authority.issue("expired", ["127.0.0.1", "localhost"], expired=True)
        cls.other_name = cls.authority.issue("other-name", ["other.test"])
        # The system's store as it is, and the test authority beside it.
        cls.store = os.path.join(cls.place, "certs")
        shutil.copytree("/etc/ssl/certs", cls.store, symlinks=True)
        shutil.copy(cls.authority.pem, os.path.join(cls.store, "gameshell-test-authority.pem"))
        subprocess.run(["openssl", "rehash", cls.store], check=True, capture_output=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.place, ignore_errors=True)
        super().tearDownClass()

    def setUp(self):
        super().setUp()
        self.binary, self.cwd, self.env, _ = ordinary_user(self)
        shutil.copy(HTTPS_BIN, self.binary)
        # The engine's trust: the NSS database in the run's home.
        nssdb = os.path.join(self.env["HOME"], ".pki", "nssdb")
        os.makedirs(nssdb)
        subprocess.run(["certutil", "-N", "-d", "sql:" + nssdb, "--empty-password"], check=True)
        subprocess.run(["certutil", "-A", "-d", "sql:" + nssdb, "-n", "GameShell test authority",
                        "-t", "C,,", "-i", self.authority.pem], check=True)
        subprocess.run(["chown", "-R", f"{NOBODY}:{NOBODY}", self.env["HOME"]], check=True)
        # The downloads' trust: the private copy of the store, seen by this run only.
        self.wrapper = os.path.join(os.path.dirname(self.binary), "in-namespace")
        with open(self.wrapper, "w") as f:
            f.write("#!/bin/sh\n"
                    "exec unshare -m sh -c 'mount --bind \"$0\" /etc/ssl/certs && exec setpriv "
                    f"--reuid={NOBODY} --regid={NOBODY} --clear-groups -- \"$@\"' "
                    f"{self.store} {self.binary} \"$@\"\n")
        os.chmod(self.wrapper, 0o755)

    def serve(self, port, cert):
        server = DemoServer(port=port, roots=[PAGES], tls=cert)
        self.addCleanup(server.stop)
        return server

    def run_shell(self, *parameters):
        shell = self.start(*parameters, cwd=self.cwd, env=self.env, binary=self.wrapper)
        self.assertIsNotNone(self.desktop.wait_for("Varnholt", timeout=30))
        return shell

    def shown_text(self, shell, timeout=20):
        """What the shell's own page says, as its developer's build tells it on stderr."""
        deadline = time.time() + timeout
        text = ""
        while time.time() < deadline:
            shell.stderr.seek(0)
            text = shell.stderr.read().decode(errors="replace")
            if "the shell's page for" in text:
                return text
            time.sleep(0.2)
        return text

    def stored(self, path):
        try:
            with open(os.path.join(self.cwd, path), "rb") as f:
                return f.read()
        except OSError:
            return None

    def test_a_good_certificate_loads_the_game_and_its_files_come_from_disk_next_run(self):
        login = self.serve(HTTPS_PORT, self.good)
        resource = "/gen/ui/a.png?v=1"
        for run in (1, 2):
            login.clear()
            shell = self.run_shell("img:" + urllib.request.quote(resource, safe=""))
            self.assertTrue(login.wait_for_line("event=img"), login.lines())
            self.assertEqual(login.count("GET /gen/ui/a.png"), 1 if run == 1 else 0)
            self.assertEqual(login.count("TLS handshake refused"), 0)
            deadline = time.time() + 10
            # The login address's scheme keeps the game's own paths: a root laid out in advance
            # serves as it is.
            while time.time() < deadline and self.stored("gen/ui/a.png") is None:
                time.sleep(0.1)
            self.assertEqual(len(self.stored("gen/ui/a.png") or b""), 3000)
            self.assertIsNone(self.stored(".https/gen/ui/a.png"))
            self.desktop.request_close(self.desktop.find("Varnholt"))
            self.assertEqual(shell.wait(), 0)
        with open(os.path.join(self.cwd, "fileList.txt")) as index:
            self.assertIn("\ngen/ui/a.png v=1\n", "\n" + index.read())

    def test_an_expired_certificate_shows_the_shells_words_and_nothing_is_fetched(self):
        login = self.serve(HTTPS_PORT, self.expired)
        shell = self.run_shell("img:%2Fgen%2Fb.png%3Fv%3D1")
        text = self.shown_text(shell)
        self.assertIn("not private", text)
        refused = login.count("TLS handshake refused")
        self.assertGreaterEqual(refused, 1)
        time.sleep(5)
        self.assertEqual(login.count("TLS handshake refused"), refused)
        self.assertFalse([line for line in login.lines() if line.startswith("GET")])
        self.assertIsNone(self.stored("gen/b.png"))
        # The player's Return is the page's Retry.
        window = self.desktop.find("Varnholt")
        self.desktop.focus(window)
        self.desktop.press_key(window, "Return")
        deadline = time.time() + 10
        while time.time() < deadline and login.count("TLS handshake refused") == refused:
            time.sleep(0.1)
        self.assertGreater(login.count("TLS handshake refused"), refused)

    def test_a_certificate_for_another_name_feeds_neither_the_page_nor_the_cache(self):
        login = self.serve(HTTPS_PORT, self.good)
        other = self.serve(HTTPS_PORT + 1, self.other_name)
        resource = f"https://localhost:{HTTPS_PORT + 1}/gen/c.png?v=1"
        self.run_shell("img:" + urllib.request.quote(resource, safe=""))
        self.assertTrue(login.wait_for_line("event=img&width=error"), login.lines())
        # Both the cache's download and the page's own request were turned away.
        self.assertGreaterEqual(other.count("TLS handshake refused"), 1)
        self.assertFalse([line for line in other.lines() if line.startswith("GET")])
        self.assertIsNone(self.stored("gen/c.png"))


if __name__ == "__main__":
    unittest.main()
