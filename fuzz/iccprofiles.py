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


_lcms.cmsCreateProfilePlaceholder.restype = ctypes.c_void_p
_lcms.cmsCreateProfilePlaceholder.argtypes = [ctypes.c_void_p]
_lcms.cmsSetProfileVersion.argtypes = [ctypes.c_void_p, ctypes.c_double]
for _name in ("cmsSetDeviceClass", "cmsSetColorSpace", "cmsSetPCS"):
    getattr(_lcms, _name).argtypes = [ctypes.c_void_p, ctypes.c_uint32]
_lcms.cmsPipelineAlloc.restype = ctypes.c_void_p
_lcms.cmsPipelineAlloc.argtypes = [ctypes.c_void_p, ctypes.c_uint32, ctypes.c_uint32]
_lcms.cmsStageAllocToneCurves.restype = ctypes.c_void_p
_lcms.cmsStageAllocToneCurves.argtypes = [ctypes.c_void_p, ctypes.c_uint32, ctypes.c_void_p]
_lcms.cmsStageAllocCLut16bit.restype = ctypes.c_void_p
_lcms.cmsStageAllocCLut16bit.argtypes = [ctypes.c_void_p, ctypes.c_uint32, ctypes.c_uint32, ctypes.c_uint32,
                                         ctypes.POINTER(ctypes.c_uint16)]
_lcms.cmsPipelineInsertStage.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_void_p]
_lcms.cmsPipelineFree.argtypes = [ctypes.c_void_p]


def _lab16(rgb):
    """An sRGB colour (0 to 1) as Lab (D50) in version 4's 16-bit encoding."""
    lin = [c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4 for c in rgb]
    m = [(0.4360747, 0.3850649, 0.1430804), (0.2225045, 0.7168786, 0.0606169), (0.0139322, 0.0971045, 0.7141733)]
    xyz = [sum(a * b for a, b in zip(row, lin)) for row in m]
    f = [t ** (1 / 3) if t > 216 / 24389 else (24389 / 27 * t + 16) / 116
         for t in (xyz[0] / 0.9642, xyz[1], xyz[2] / 0.8249)]
    lab = (116 * f[1] - 16, 500 * (f[0] - f[1]), 200 * (f[1] - f[2]))
    return [round(lab[0] * 655.35), round((lab[1] + 128) * 257), round((lab[2] + 128) * 257)]


def cmyk():
    """A CMYK profile of a small table: inks with some dot gain (each ink
    counts as ink ** 0.8), then taken away from white as browsers do."""
    grid = 5
    table = []
    for c in range(grid):  # the first input varies slowest
        for m in range(grid):
            for y in range(grid):
                for k in range(grid):
                    ink = [(v / (grid - 1)) ** 0.8 for v in (c, m, y, k)]
                    table += _lab16([(1 - ink[i]) * (1 - ink[3]) for i in range(3)])
    profile = _lcms.cmsCreateProfilePlaceholder(None)
    _lcms.cmsSetProfileVersion(profile, 4.3)
    _lcms.cmsSetDeviceClass(profile, 0x70727472)  # 'prtr'
    _lcms.cmsSetColorSpace(profile, 0x434D594B)  # 'CMYK'
    _lcms.cmsSetPCS(profile, 0x4C616220)  # 'Lab '
    lut = _lcms.cmsPipelineAlloc(None, 4, 3)
    values = (ctypes.c_uint16 * len(table))(*table)
    for stage in (_lcms.cmsStageAllocToneCurves(None, 4, None), _lcms.cmsStageAllocCLut16bit(None, grid, 4, 3, values),
                  _lcms.cmsStageAllocToneCurves(None, 3, None)):
        _lcms.cmsPipelineInsertStage(lut, 1, stage)  # at the end
    _lcms.cmsWriteTag(profile, 0x41324230, lut)  # 'A2B0'
    _lcms.cmsPipelineFree(lut)
    return _save(profile, "Press CMYK (test)")


def truncated(profile):
    """The profile cut in the middle of its tag data, its size field intact."""
    return profile[: len(profile) // 2]


def bad_tag_table(profile):
    """The first tag's offset pointing past the end of the profile."""
    return profile[:132] + profile[132:136] + struct.pack(">I", len(profile) + 1000) + profile[140:]


def huge_tag_count(profile):
    """A tag count of 2^32 - 1 in a profile of a few hundred bytes."""
    return profile[:128] + b"\xff\xff\xff\xff" + profile[132:]
