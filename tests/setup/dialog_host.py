"""A Python host of the setup dialog through ctypes, as a Python administration tool would
load it: the setup library's ConfigDSN called directly with a window, then a normal exit.
Usage: dialog_host.py SETUP_LIBRARY add|config DRIVER_SECTION "KEY=VALUE;KEY=VALUE"
Prints "ConfigDSN: 1" or "ConfigDSN: 0"."""
import ctypes
import sys

ODBC_ADD_DSN, ODBC_CONFIG_DSN = 1, 2


def main():
    library, request, section, attributes = sys.argv[1:5]
    setup = ctypes.CDLL(library)
    setup.ConfigDSN.argtypes = [ctypes.c_void_p, ctypes.c_ushort, ctypes.c_char_p,
                                ctypes.c_char_p]
    setup.ConfigDSN.restype = ctypes.c_int
    entries = attributes.encode().replace(b";", b"\0") + b"\0\0"
    done = setup.ConfigDSN(1, ODBC_CONFIG_DSN if request == "config" else ODBC_ADD_DSN,
                           section.encode(), entries)
    print("ConfigDSN:", 1 if done else 0, flush=True)


main()
