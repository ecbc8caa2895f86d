"""What a server writes to advertise a C2PA Manifest Store. Runs offline."""

import provlink

TARGETS = [
    "https://example.com/manifests/photo.c2pa",
    "/manifests/holiday photo.c2pa",
    "manifests/café.c2pa",
    "photo.jpg#jumbf=c2pa/urn:uuid:f1b6e2a0",
    "evil.c2pa\r\nSet-Cookie: session=stolen",
]


def main():
    print(f"link relation: {provlink.REL}  (provlink {provlink.__version__})\n")
    for target in TARGETS:
        print(f"target      {target!r}")
        print(f"format      Link: {provlink.format(target)}")
        try:
            print(f"strict      Link: {provlink.format_strict(target)}")
        except ValueError as error:
            print(f"strict      ValueError: {error}")
        print()


if __name__ == "__main__":
    main()
