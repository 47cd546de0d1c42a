"""The test copy that names its installer's signer: the test server serves
a small exe signed for the session with osslsigncode, by throwaway
certificates from openssl. Only a signature by that name, on a chain to the
root the session's prefix trusts, is saved, and the saved file carries the
mark of a download from the internet."""
import os
import shutil
import subprocess

from harness import DRIVER, IDOK, SESSION_DIR, START, App, DownloadCase, message, server, test_server, trusted_pki

SIGNER = "Cveltrix Throwaway Vendor"  # CVELTRIX_TEST_SIGNER of the build
FOLDER = os.path.join(SESSION_DIR, "signing")
installers = {}


def sign(pki, unsigned, name, root, out):
    """Signs unsigned into out as name, with a certificate issued by root."""
    certificate, key = pki.code_signer(name, root)
    if os.path.exists(out):  # osslsigncode will not overwrite
        os.remove(out)
    subprocess.run(["osslsigncode", "sign", "-certs", certificate, "-key", key, "-h", "sha256",
                    "-n", "Cveltrix test installer", "-in", unsigned, "-out", out],
                   check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def make_installers():
    """Any small exe will do as the installer: the test driver's own."""
    os.makedirs(FOLDER, exist_ok=True)
    path = lambda name: os.path.join(FOLDER, name + ".exe")  # noqa: E731
    shutil.copy(DRIVER, path("unsigned"))
    sign(pki, path("unsigned"), SIGNER, "root", path("good"))
    sign(pki, path("unsigned"), SIGNER, "stray", path("untrusted-root"))
    sign(pki, path("unsigned"), "Someone Else", "root", path("other-signer"))
    with open(path("good"), "rb") as f:
        changed = bytearray(f.read())
    changed[len(changed) // 3] ^= 0xFF  # inside the signed image, not the signature
    with open(path("changed"), "wb") as f:
        f.write(changed)
    return {name: path(name) for name in ("good", "unsigned", "untrusted-root", "other-signer", "changed")}


def setUpModule():
    global pki, installers
    pki = trusted_pki()
    installers = make_installers()


class SignerNamedBuild(DownloadCase):
    def test_the_vendors_signature_is_saved_and_marked_as_from_the_internet(self):
        with server(test_server.FileContent(installers["good"])) as srv, App(kind="signed") as app:
            app.click(START)
            self.save_to_desktop(app)
            url = srv.url
        with open(installers["good"], "rb") as f:
            self.assertEqual(self.read(self.saved), f.read())
        # Wine keeps the stream as a file of that name beside the saved one.
        with open(self.saved + ":Zone.Identifier", "rb") as f:
            mark = f.read().decode("utf-8")
        self.assertEqual(mark, f"[ZoneTransfer]\r\nZoneId=3\r\nHostUrl={url}\r\n")

    def test_anything_else_is_refused_and_the_temp_file_removed(self):
        # What the failure line must name for each (quotes come escaped in Wine's log).
        reasons = {"unsigned": r"trust result 0x800B0100",  # TRUST_E_NOSIGNATURE
                   "changed": r"trust result 0x80096010",  # TRUST_E_BAD_DIGEST
                   # WinTrust itself passes this one under Wine: the chain's status does not.
                   "untrusted-root": r'Cveltrix Throwaway Vendor\\", chain status 0x0*[1-9A-F]',
                   "other-signer": r'signer \\"Someone Else\\"'}
        for name, reason in reasons.items():
            with self.subTest(name):
                with server(test_server.FileContent(installers[name])), \
                        App(kind="signed", wine_debug="warn+seh") as app:  # where Wine 8 logs OutputDebugString
                    app.click(START)
                    box = app.answer(IDOK)
                    self.assertEqual((box["message"], box["icon"]), (message("Damaged"), "warning"))
                    app.wait_idle()
                    self.assertFalse(os.path.exists(self.saved))
                    self.assertFalse(os.path.exists(app.temp_path))
                with open(app.wine_log, encoding="utf-8", errors="replace") as f:
                    lines = [line for line in f if "OutputDebugString" in line and
                             "Cveltrix: message 16: the file's signature is refused" in line]
                self.assertEqual(len(lines), 1, lines)
                self.assertRegex(lines[0], reason)
