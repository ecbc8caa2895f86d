/* The floor: the least work that answers provlink's common questions under
 * provlink's own constraints (the limited API at the 3.9 level,
 * METH_VARARGS | METH_KEYWORDS, the one argument by position or keyword).
 * It knows only the common input shape, so it is no parser: a benchmark
 * measures provlink as a multiple of it.
 *
 *   extract(values): a list holding one header value with one link whose
 *     target lies between its first "<" and the next ">" and which carries
 *     rel="c2pa-manifest"; the dict is a copy of a prepared one, "uri" set.
 *   format(uri): a target of literal bytes only, checked sixteen at a time,
 *     written with the rest of the header value into a stack buffer.
 */
#define Py_LIMITED_API 0x03090000
#include <Python.h>
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

static PyObject *plain_dict; /* {"uri": None, "jumbf": None, "is_embedded": False} */
static PyObject *uri_key;

/* The one argument, by position or under `name`; NULL with a TypeError set otherwise. */
static PyObject *bind(PyObject *args, PyObject *kwargs, const char *name) {
    if (kwargs == NULL && PyTuple_Size(args) == 1) return PyTuple_GetItem(args, 0);
    if (kwargs != NULL && PyTuple_Size(args) == 0 && PyDict_Size(kwargs) == 1) {
        PyObject *value = PyDict_GetItemString(kwargs, name);
        if (value != NULL) return value;
    }
    PyErr_SetString(PyExc_TypeError, "the floor takes its one argument only");
    return NULL;
}

static PyObject *floor_extract(PyObject *self, PyObject *args, PyObject *kwargs) {
    (void)self;
    PyObject *values = bind(args, kwargs, "values");
    if (values == NULL) return NULL;
    if (!PyList_CheckExact(values) || PyList_Size(values) != 1) {
        PyErr_SetString(PyExc_TypeError, "the floor reads a list of one header value");
        return NULL;
    }
    PyObject *value = PyList_GetItem(values, 0);
    PyObject *bytes = PyUnicode_AsUTF8String(value);
    if (bytes == NULL) return NULL;
    char *text;
    Py_ssize_t size;
    PyBytes_AsStringAndSize(bytes, &text, &size);
    const char *open = memchr(text, '<', (size_t)size);
    const char *close = open ? memchr(open, '>', (size_t)(text + size - open)) : NULL;
    static const char rel[] = "rel=\"c2pa-manifest\"";
    int found = close != NULL && size - (close - text) >= (Py_ssize_t)sizeof rel - 1 &&
                memcmp(text + size - (sizeof rel - 1), rel, sizeof rel - 1) == 0;
    Py_ssize_t start = open ? open - text + 1 : 0, end = close ? close - text : 0;
    Py_DecRef(bytes);
    if (!found) Py_RETURN_NONE;
    PyObject *dict = PyDict_Copy(plain_dict);
    PyObject *uri = PyUnicode_Substring(value, start, end);
    if (dict == NULL || uri == NULL || PyDict_SetItem(dict, uri_key, uri) != 0) {
        Py_DecRef(dict);
        dict = NULL;
    }
    Py_DecRef(uri);
    return dict;
}

/* Whether the sixteen bytes at `p` all may stand literally in a URI reference. */
static int literal16(const char *p) {
#if defined(__SSE2__)
    const __m128i v = _mm_loadu_si128((const __m128i *)p);
    __m128i bad = _mm_cmpeq_epi8(v, _mm_set1_epi8(0x7F));
    static const char specials[] = "\"<>\\^`{|}";
    for (int i = 0; i < 9; ++i) bad = _mm_or_si128(bad, _mm_cmpeq_epi8(v, _mm_set1_epi8(specials[i])));
    const int printable = _mm_movemask_epi8(_mm_cmpgt_epi8(v, _mm_set1_epi8(0x20)));
    return (printable & ~_mm_movemask_epi8(bad)) == 0xFFFF;
#else
    for (int i = 0; i < 16; ++i) {
        const unsigned char b = (unsigned char)p[i];
        if (b <= 0x20 || b >= 0x7F || strchr("\"<>\\^`{|}", b)) return 0;
    }
    return 1;
#endif
}

static PyObject *floor_format(PyObject *self, PyObject *args, PyObject *kwargs) {
    (void)self;
    PyObject *uri = bind(args, kwargs, "uri");
    if (uri == NULL) return NULL;
    PyObject *bytes = PyUnicode_AsUTF8String(uri);
    if (bytes == NULL) return NULL;
    char *text;
    Py_ssize_t size;
    PyBytes_AsStringAndSize(bytes, &text, &size);
    static const char suffix[] = ">; rel=\"c2pa-manifest\"";
    char buffer[512];
    int clean = size >= 16 && (size_t)size + sizeof suffix <= sizeof buffer;
    for (Py_ssize_t i = 0; clean && i < size; i += 16) clean = literal16(text + (i + 16 <= size ? i : size - 16));
    PyObject *result = NULL;
    if (clean) {
        buffer[0] = '<';
        memcpy(buffer + 1, text, (size_t)size);
        memcpy(buffer + 1 + size, suffix, sizeof suffix - 1);
        result = PyUnicode_FromStringAndSize(buffer, 1 + size + (Py_ssize_t)sizeof suffix - 1);
    } else {
        PyErr_SetString(PyExc_ValueError, "the floor writes clean targets of 16 bytes or more only");
    }
    Py_DecRef(bytes);
    return result;
}

static PyMethodDef methods[] = {
    {"extract", (PyCFunction)(void (*)(void))floor_extract, METH_VARARGS | METH_KEYWORDS, NULL},
    {"format", (PyCFunction)(void (*)(void))floor_format, METH_VARARGS | METH_KEYWORDS, NULL},
    {NULL, NULL, 0, NULL},
};

static struct PyModuleDef definition = {PyModuleDef_HEAD_INIT, "provlink_floor", NULL, 0, methods};

PyMODINIT_FUNC PyInit_provlink_floor(void) {
    uri_key = PyUnicode_InternFromString("uri");
    plain_dict = PyDict_New();
    if (uri_key == NULL || plain_dict == NULL || PyDict_SetItem(plain_dict, uri_key, Py_None) != 0 ||
        PyDict_SetItemString(plain_dict, "jumbf", Py_None) != 0 ||
        PyDict_SetItemString(plain_dict, "is_embedded", Py_False) != 0) {
        return NULL;
    }
    return PyModule_Create2(&definition, 3);
}
