"""A server advertising a C2PA Manifest Store, and a client finding it. Runs offline."""

import provlink

# What a server writes: one Link field per manifest it advertises.
TARGETS = [
    "https://example.com/manifests/photo.c2pa",
    "/manifests/holiday photo.c2pa",
    "photo.jpg#jumbf=c2pa/urn:uuid:f1b6e2a0",
    "evil.c2pa\r\nSet-Cookie: session=stolen",
]

# What a client receives: the Link field values of a few responses, as an
# HTTP library hands them over (one string per field).
RESPONSES = {
    "one field, several links": [
        '</style.css>; rel=preload; as=style, <https://example.com/manifests/photo.c2pa>; rel="c2pa-manifest"',
    ],
    "several fields, the manifest repeated": [
        "<https://api.example.com/photos?page=2>; rel=next",
        '</manifests/photo.c2pa>; rel="c2pa-manifest"',
        '</manifests/photo.c2pa>; rel="c2pa-manifest"',
    ],
    "an embedded manifest": ['<photo.jpg#jumbf=c2pa/urn:uuid:f1b6e2a0>; rel="alternate c2pa-manifest"'],
    "no manifest": ["<https://api.example.com/photos?page=2>; rel=next, <https://api.example.com/photos?page=9>; rel=last"],
    "competing manifests": ['</a.c2pa>; rel="c2pa-manifest", </b.c2pa>; rel="c2pa-manifest"'],
}


def main():
    print(f"provlink {provlink.__version__}, link relation {provlink.REL!r}\n")

    print("A server writes:")
    for target in TARGETS:
        print(f"  {target!r}")
        print(f"    Link: {provlink.format(target)}")
        try:
            provlink.format_strict(target)
        except ValueError as error:
            print(f"    format_strict refuses it: {error}")
    print()

    print("A client reads:")
    for name, values in RESPONSES.items():
        print(f"  {name}:")
        for value in values:
            print(f"    Link: {value}")
        print(f"    locate_all -> {provlink.locate_all(values)}")
        try:
            print(f"    extract    -> {provlink.extract(values)}")
        except ValueError as error:
            print(f"    extract    -> ValueError: {error}")
    print()

    print("Round trip:")
    target = "/manifests/holiday photo.c2pa"
    found = provlink.extract([provlink.format(target)])
    print(f"  {target!r} -> {found['uri']!r}")


if __name__ == "__main__":
    main()
