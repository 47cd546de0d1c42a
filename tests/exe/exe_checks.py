"""Checks of the built exe itself: what its manifest and icon tell Windows,
that two builds of one source in two folders are byte-identical, and the
optional signing step with a throwaway certificate.

Run by ctest with CVELTRIX_WINDOWS_BUILD_DIR (the exe to inspect),
CVELTRIX_SOURCE_DIR and CVELTRIX_TREES_DIR (where the extra builds go)."""
import os
import shutil
import subprocess
import unittest
import xml.etree.ElementTree as ET

from pe_resources import RT_MANIFEST, PeFile

EXE = os.path.join(os.environ.get("CVELTRIX_WINDOWS_BUILD_DIR", ""), "bin", "Cveltrix.exe")
# The same exe from clang and lld, whose delay-load tables are made another way.
CLANG_EXE = os.path.join(os.environ.get("CVELTRIX_CLANG_WINDOWS_BUILD_DIR", ""), "bin", "Cveltrix.exe")
SOURCE = os.environ.get("CVELTRIX_SOURCE_DIR", "")
TREES = os.environ.get("CVELTRIX_TREES_DIR", "")
# Two source copies whose paths differ in length too, each with its build.
FOLDERS = ("a", "second-tree")
ICON_SIZES = [16, 20, 24, 32, 40, 48, 64, 256]
SUPPORTED_OS = {
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # Windows 10 and 11
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # Windows 8.1
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # Windows 8
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # Windows 7
}


def local_name(element):
    return element.tag.rsplit("}", 1)[-1]


class Resources(unittest.TestCase):
    def setUp(self):
        self.pe = PeFile(EXE)

    def test_manifest_declares_per_monitor_v2_dpi_awareness_and_the_supported_windows(self):
        manifest = ET.fromstring(self.pe.resources()[(RT_MANIFEST, 1)])
        values = {}
        for element in manifest.iter():
            values.setdefault(local_name(element), []).append(element)
        self.assertEqual([e.text for e in values["dpiAware"]], ["true/pm"])
        self.assertEqual([e.text.replace(" ", "").split(",")[0] for e in values["dpiAwareness"]], ["PerMonitorV2"])
        self.assertEqual({e.get("Id").lower() for e in values["supportedOS"]}, SUPPORTED_OS)

    def test_icon_has_every_size_with_alpha_and_the_largest_as_png(self):
        images = self.pe.icon_group(133)
        self.assertEqual(sorted(width for width, _, _ in images), ICON_SIZES)
        for width, bits, data in images:
            with self.subTest(width=width):
                self.assertEqual(bits, 32)
                self.assertEqual(data.startswith(b"\x89PNG\r\n\x1a\n"), width == 256)

    def test_loads_at_start_only_what_the_first_paint_needs(self):
        for exe in (EXE, CLANG_EXE):
            with self.subTest(exe=exe):
                self.assertEqual(sorted(PeFile(exe).imported_dlls()),
                                 ["comctl32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll", "user32.dll", "version.dll"])

    def test_header_carries_no_link_time(self):
        self.assertEqual(self.pe.time_stamp, 0)


def build(folder, *options):
    """Configures (once) and builds the product exe of the source copy in `folder`; returns the exe's path."""
    source, binary = os.path.join(folder, "source"), os.path.join(folder, "build")
    if not os.path.exists(os.path.join(binary, "CMakeCache.txt")):
        options = ("--toolchain", os.path.join(source, "cmake", "mingw-w64-x86_64.cmake"),
                   "-DCMAKE_BUILD_TYPE=Release", *options)
    run("cmake", "-S", source, "-B", binary, *options)
    run("cmake", "--build", binary, "--target", "cveltrix", "-j2")
    return os.path.join(binary, "bin", "Cveltrix.exe")


def run(*command, cwd=None):
    done = subprocess.run(command, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True, text=True)
    if done.returncode != 0:
        raise AssertionError(f"{' '.join(command)} exited {done.returncode}:\n{done.stdout[-3000:]}{done.stderr[-3000:]}")
    return done.stdout


class Reproducible(unittest.TestCase):
    def test_two_folders_give_byte_identical_exes(self):
        shutil.rmtree(TREES, ignore_errors=True)
        exes = []
        for name in FOLDERS:
            folder = os.path.join(TREES, name)
            shutil.copytree(SOURCE, os.path.join(folder, "source"),
                            ignore=lambda path, names: {"build", ".git"} & set(names) if path == SOURCE else set())
            exes.append(build(folder))
        with open(exes[0], "rb") as first, open(exes[1], "rb") as second:
            self.assertTrue(first.read() == second.read(), f"{exes[0]} and {exes[1]} differ")


class Signing(unittest.TestCase):
    def test_a_named_certificate_signs_the_exe_and_the_signature_verifies(self):
        folder = os.path.join(TREES, FOLDERS[1])
        keys = os.path.join(TREES, "keys")
        os.makedirs(keys, exist_ok=True)
        cert, key, pkcs12, password = (os.path.join(keys, n) for n in ("cert.pem", "key.pem", "cert.p12", "pass"))
        with open(password, "w") as f:
            f.write("throwaway password\n")
        run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert, "-days", "2",
            "-subj", "/CN=Cveltrix throwaway test signer", "-addext", "extendedKeyUsage=codeSigning")
        run("openssl", "pkcs12", "-export", "-in", cert, "-inkey", key, "-out", pkcs12, "-passout", f"file:{password}")
        try:
            exe = build(folder, f"-DCVELTRIX_SIGN_PKCS12={pkcs12}", f"-DCVELTRIX_SIGN_PASSWORD_FILE={password}",
                        f"-DCVELTRIX_SIGN_CA_FILE={cert}")
            report = run("osslsigncode", "verify", "-CAfile", cert, "-in", exe)
            self.assertIn("Signature verification: ok", report)
            self.assertIn("CN=Cveltrix throwaway test signer", report)
        finally:
            # The tree builds unsigned again, as before.
            build(folder, "-DCVELTRIX_SIGN_PKCS12=")


if __name__ == "__main__":
    unittest.main()
