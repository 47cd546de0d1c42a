"""Throwaway certificates for the test server's https mode, made with the
openssl command in a folder of the caller's: a test root, and server
certificates for the names the tests need.

    pki = ThrowawayPki(folder)              makes whatever the folder lacks
    pki.root_der                       the test root (DER), to trust in a test prefix
    pki.root_pem                       the same as PEM, for Python clients
    pki.server("localhost")            (certificate, key) signed by the test root
    pki.server("localhost", "stray")   signed by another root, trusted nowhere
    pki.code_signer("Vendor", root)    (certificate, key) for signing code as "Vendor"

Nothing here ever goes into a machine's own trust store.
"""
import os
import subprocess
import tempfile

DAYS = "3"  # long enough for any test run, short enough to be worthless


def _openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE)


class ThrowawayPki:
    def __init__(self, folder):
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        self.root_der = os.path.join(folder, "root.der")
        self.root_pem = os.path.join(folder, "root.pem")
        if not os.path.exists(self.root_der):
            self._make_root("root")
            _openssl("x509", "-in", "root.pem", "-outform", "DER", "-out", "root.der.part", cwd=folder)
            os.replace(self._path("root.der.part"), self.root_der)

    def _path(self, name):
        return os.path.join(self.folder, name)

    def _make_root(self, root):
        if os.path.exists(self._path(f"{root}.pem")):
            return
        _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{root}.key", "-out", f"{root}.pem",
                 "-days", DAYS, "-subj", f"/CN=Cveltrix throwaway test root {root}",
                 "-addext", "basicConstraints=critical,CA:TRUE",
                 "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=self.folder)

    def server(self, host, root="root"):
        """(certificate file, key file) for the DNS name host, signed by root."""
        return self._leaf(host, root, host, f"subjectAltName=DNS:{host}\nbasicConstraints=CA:FALSE\n"
                          "keyUsage=critical,digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n")

    def code_signer(self, name, root="root"):
        """(certificate file, key file) for signing code as name, signed by root."""
        return self._leaf(name.replace(" ", "_") + ".code", root, name,
                          "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n")

    def _leaf(self, stem_name, root, common_name, extensions):
        stem = self._path(f"{stem_name}-by-{root}")
        if not os.path.exists(stem + ".pem"):
            self._make_root(root)
            self._sign(common_name, root, stem, extensions)
        return stem + ".pem", stem + ".key"

    def _sign(self, common_name, root, stem, extensions):
        with tempfile.TemporaryDirectory(dir=self.folder) as work:
            with open(os.path.join(work, "ext.cnf"), "w") as f:
                f.write(extensions)
            _openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key", "-out", "server.csr",
                     "-subj", f"/CN={common_name}", cwd=work)
            _openssl("x509", "-req", "-in", "server.csr", "-CA", self._path(f"{root}.pem"),
                     "-CAkey", self._path(f"{root}.key"), "-CAcreateserial", "-days", DAYS, "-extfile", "ext.cnf",
                     "-out", "server.pem", cwd=work)
            os.replace(os.path.join(work, "server.key"), stem + ".key")
            # The certificate last: its presence says the pair is complete.
            os.replace(os.path.join(work, "server.pem"), stem + ".pem")
