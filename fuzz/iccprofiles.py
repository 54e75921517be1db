"""ICC profiles built with Little CMS (through ctypes), for seeds and test
data: wide-gamut RGB profiles like those of cameras and phones, a grey one,
and damaged copies of a profile."""

import ctypes
import struct

_lcms = ctypes.CDLL("liblcms2.so.2")


class _xyY(ctypes.Structure):
    _fields_ = [("x", ctypes.c_double), ("y", ctypes.c_double), ("Y", ctypes.c_double)]


class _Triple(ctypes.Structure):
    _fields_ = [("Red", _xyY), ("Green", _xyY), ("Blue", _xyY)]


_lcms.cmsBuildGamma.restype = ctypes.c_void_p
_lcms.cmsBuildGamma.argtypes = [ctypes.c_void_p, ctypes.c_double]
_lcms.cmsBuildParametricToneCurve.restype = ctypes.c_void_p
_lcms.cmsBuildParametricToneCurve.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.POINTER(ctypes.c_double)]
_lcms.cmsCreateRGBProfile.restype = ctypes.c_void_p
_lcms.cmsCreateRGBProfile.argtypes = [ctypes.POINTER(_xyY), ctypes.POINTER(_Triple),
                                      ctypes.POINTER(ctypes.c_void_p * 3)]
_lcms.cmsCreateGrayProfile.restype = ctypes.c_void_p
_lcms.cmsCreateGrayProfile.argtypes = [ctypes.POINTER(_xyY), ctypes.c_void_p]
_lcms.cmsMLUalloc.restype = ctypes.c_void_p
_lcms.cmsMLUalloc.argtypes = [ctypes.c_void_p, ctypes.c_uint32]
_lcms.cmsMLUsetASCII.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p]
_lcms.cmsWriteTag.argtypes = [ctypes.c_void_p, ctypes.c_uint32, ctypes.c_void_p]
_lcms.cmsSaveProfileToMem.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.POINTER(ctypes.c_uint32)]
_lcms.cmsCloseProfile.argtypes = [ctypes.c_void_p]
_lcms.cmsMLUfree.argtypes = [ctypes.c_void_p]
_lcms.cmsFreeToneCurve.argtypes = [ctypes.c_void_p]

_D65 = (0.3127, 0.3290, 1.0)
_DESC = 0x64657363  # 'desc'


def _save(profile, description):
    mlu = _lcms.cmsMLUalloc(None, 1)
    _lcms.cmsMLUsetASCII(mlu, b"en", b"US", description.encode())
    _lcms.cmsWriteTag(profile, _DESC, mlu)
    _lcms.cmsMLUfree(mlu)
    size = ctypes.c_uint32(0)
    _lcms.cmsSaveProfileToMem(profile, None, ctypes.byref(size))
    buf = ctypes.create_string_buffer(size.value)
    _lcms.cmsSaveProfileToMem(profile, buf, ctypes.byref(size))
    _lcms.cmsCloseProfile(profile)
    return buf.raw[: size.value]


def _rgb(description, primaries, curve):
    white = _xyY(*_D65)
    triple = _Triple(*(_xyY(x, y, 1.0) for x, y in primaries))
    curves = (ctypes.c_void_p * 3)(curve, curve, curve)
    data = _save(_lcms.cmsCreateRGBProfile(ctypes.byref(white), ctypes.byref(triple), ctypes.byref(curves)),
                 description)
    _lcms.cmsFreeToneCurve(curve)
    return data


def adobe_rgb():
    """Adobe RGB (1998) primaries and its gamma of 563/256."""
    return _rgb("Wide RGB (Adobe primaries)", [(0.64, 0.33), (0.21, 0.71), (0.15, 0.06)],
                _lcms.cmsBuildGamma(None, 563 / 256))


def display_p3():
    """Display P3 primaries and the sRGB transfer curve."""
    params = (ctypes.c_double * 5)(2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045)
    return _rgb("Wide RGB (P3 primaries)", [(0.680, 0.320), (0.265, 0.690), (0.150, 0.060)],
                _lcms.cmsBuildParametricToneCurve(None, 4, params))


def grey(gamma=1.8):
    white = _xyY(*_D65)
    curve = _lcms.cmsBuildGamma(None, gamma)
    data = _save(_lcms.cmsCreateGrayProfile(ctypes.byref(white), curve), "Grey %.1f" % gamma)
    _lcms.cmsFreeToneCurve(curve)
    return data


def truncated(profile):
    """The profile cut in the middle of its tag data, its size field intact."""
    return profile[: len(profile) // 2]


def bad_tag_table(profile):
    """The first tag's offset pointing past the end of the profile."""
    return profile[:132] + profile[132:136] + struct.pack(">I", len(profile) + 1000) + profile[140:]


def huge_tag_count(profile):
    """A tag count of 2^32 - 1 in a profile of a few hundred bytes."""
    return profile[:128] + b"\xff\xff\xff\xff" + profile[132:]
