#!/usr/bin/env python3
"""A throw-away FTP server for the upload tests, on 127.0.0.1.

  ftp_test_server.py serve --port P --root DIR --user U --password W [--tls PEM]
      Plain FTP, or with --tls FTP over TLS (explicit AUTH TLS) that refuses
      USER/PASS before TLS and any unprotected data connection.
  ftp_test_server.py make-cert PEM [--name CN]
      Writes a new self-signed certificate and its key to PEM.
"""
import argparse
import datetime
import sys


def make_cert(path, name):
    from cryptography import x509
    from cryptography.hazmat.primitives import hashes, serialization
    from cryptography.hazmat.primitives.asymmetric import ec
    from cryptography.x509.oid import NameOID

    key = ec.generate_private_key(ec.SECP256R1())
    subject = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, name),
                         x509.NameAttribute(NameOID.ORGANIZATION_NAME, "テスト用サーバ")])
    now = datetime.datetime.now(datetime.timezone.utc)
    cert = (x509.CertificateBuilder().subject_name(subject).issuer_name(subject)
            .public_key(key.public_key()).serial_number(x509.random_serial_number())
            .not_valid_before(now - datetime.timedelta(days=1))
            .not_valid_after(now + datetime.timedelta(days=30))
            .sign(key, hashes.SHA256()))
    with open(path, "wb") as f:
        f.write(key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                  serialization.NoEncryption()))
        f.write(cert.public_bytes(serialization.Encoding.PEM))


def serve(args):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler, TLS_DTPHandler, TLS_FTPHandler

    class HandshakeFirstDTPHandler(TLS_DTPHandler):
        # curl starts a data connection's TLS handshake before it sends the
        # transfer command; pyftpdlib only reads the connection once a command
        # wants it, so the handshake would stall and the connection be dropped.
        def readable(self):
            return self._ssl_accepting or super().readable()
    from pyftpdlib.servers import FTPServer

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    if args.tls:
        handler = TLS_FTPHandler
        handler.certfile = args.tls
        handler.tls_control_required = True
        handler.tls_data_required = True
        handler.dtp_handler = HandshakeFirstDTPHandler
    else:
        handler = FTPHandler
    handler.authorizer = authorizer
    server = FTPServer(("127.0.0.1", args.port), handler)
    server.serve_forever()


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="command", required=True)
    s = sub.add_parser("serve")
    s.add_argument("--port", type=int, required=True)
    s.add_argument("--root", required=True)
    s.add_argument("--user", required=True)
    s.add_argument("--password", required=True)
    s.add_argument("--tls")
    c = sub.add_parser("make-cert")
    c.add_argument("pem")
    c.add_argument("--name", default="localhost")
    args = parser.parse_args()
    if args.command == "make-cert":
        make_cert(args.pem, args.name)
    else:
        serve(args)


if __name__ == "__main__":
    sys.exit(main())
