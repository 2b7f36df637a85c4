// Names of the DirectDraw result codes, for the error box and the debug
// output.
#include "screen/ddraw.h"

#include <cstdio>

namespace {

struct NamedCode {
    DDResult code;
    const char* name;
};

// In the order of their names. The values are those of the platform header.
constexpr NamedCode namedCodes[] = {
    {DD_OK, "DD_OK"},
    {ddCode(5), "DDERR_ALREADYINITIALIZED"},
    {ddCode(574), "DDERR_BLTFASTCANTCLIP"},
    {ddCode(10), "DDERR_CANNOTATTACHSURFACE"},
    {ddCode(20), "DDERR_CANNOTDETACHSURFACE"},
    {ddCode(585), "DDERR_CANTCREATEDC"},
    {ddCode(583), "DDERR_CANTDUPLICATE"},
    {ddCode(435), "DDERR_CANTLOCKSURFACE"},
    {ddCode(640), "DDERR_CANTPAGELOCK"},
    {ddCode(660), "DDERR_CANTPAGEUNLOCK"},
    {ddCode(567), "DDERR_CLIPPERISUSINGHWND"},
    {ddCode(400), "DDERR_COLORKEYNOTSET"},
    {ddCode(40), "DDERR_CURRENTLYNOTAVAIL"},
    {ddCode(620), "DDERR_DCALREADYCREATED"},
    {ddCode(562), "DDERR_DIRECTDRAWALREADYCREATED"},
    {ddCode(55), "DDERR_EXCEPTION"},
    {ddCode(581), "DDERR_EXCLUSIVEMODEALREADYSET"},
    {DDERR_GENERIC, "DDERR_GENERIC"},
    {ddCode(90), "DDERR_HEIGHTALIGN"},
    {ddCode(571), "DDERR_HWNDALREADYSET"},
    {ddCode(570), "DDERR_HWNDSUBCLASSED"},
    {ddCode(588), "DDERR_IMPLICITLYCREATED"},
    {ddCode(95), "DDERR_INCOMPATIBLEPRIMARY"},
    {ddCode(100), "DDERR_INVALIDCAPS"},
    {ddCode(110), "DDERR_INVALIDCLIPLIST"},
    {ddCode(561), "DDERR_INVALIDDIRECTDRAWGUID"},
    {ddCode(120), "DDERR_INVALIDMODE"},
    {ddCode(130), "DDERR_INVALIDOBJECT"},
    {DDERR_INVALIDPARAMS, "DDERR_INVALIDPARAMS"},
    {ddCode(145), "DDERR_INVALIDPIXELFORMAT"},
    {ddCode(579), "DDERR_INVALIDPOSITION"},
    {ddCode(150), "DDERR_INVALIDRECT"},
    {ddCode(592), "DDERR_INVALIDSURFACETYPE"},
    {ddCode(160), "DDERR_LOCKEDSURFACES"},
    {ddCode(170), "DDERR_NO3D"},
    {ddCode(180), "DDERR_NOALPHAHW"},
    {ddCode(575), "DDERR_NOBLTHW"},
    {ddCode(205), "DDERR_NOCLIPLIST"},
    {ddCode(568), "DDERR_NOCLIPPERATTACHED"},
    {ddCode(210), "DDERR_NOCOLORCONVHW"},
    {ddCode(215), "DDERR_NOCOLORKEY"},
    {ddCode(220), "DDERR_NOCOLORKEYHW"},
    {ddCode(212), "DDERR_NOCOOPERATIVELEVELSET"},
    {ddCode(586), "DDERR_NODC"},
    {ddCode(576), "DDERR_NODDROPSHW"},
    {ddCode(563), "DDERR_NODIRECTDRAWHW"},
    {ddCode(222), "DDERR_NODIRECTDRAWSUPPORT"},
    {ddCode(565), "DDERR_NOEMULATION"},
    {ddCode(225), "DDERR_NOEXCLUSIVEMODE"},
    {ddCode(230), "DDERR_NOFLIPHW"},
    {ddCode(240), "DDERR_NOGDI"},
    {ddCode(569), "DDERR_NOHWND"},
    {ddCode(591), "DDERR_NOMIPMAPHW"},
    {ddCode(250), "DDERR_NOMIRRORHW"},
    {ddCode(578), "DDERR_NOOVERLAYDEST"},
    {ddCode(260), "DDERR_NOOVERLAYHW"},
    {ddCode(572), "DDERR_NOPALETTEATTACHED"},
    {ddCode(573), "DDERR_NOPALETTEHW"},
    {ddCode(280), "DDERR_NORASTEROPHW"},
    {ddCode(290), "DDERR_NOROTATIONHW"},
    {ddCode(310), "DDERR_NOSTRETCHHW"},
    {ddCode(316), "DDERR_NOT4BITCOLOR"},
    {ddCode(317), "DDERR_NOT4BITCOLORINDEX"},
    {ddCode(320), "DDERR_NOT8BITCOLOR"},
    {ddCode(580), "DDERR_NOTAOVERLAYSURFACE"},
    {ddCode(330), "DDERR_NOTEXTUREHW"},
    {ddCode(582), "DDERR_NOTFLIPPABLE"},
    {ddCode(255), "DDERR_NOTFOUND"},
    {DDERR_NOTINITIALIZED, "DDERR_NOTINITIALIZED"},
    {ddCode(584), "DDERR_NOTLOCKED"},
    {ddCode(680), "DDERR_NOTPAGELOCKED"},
    {ddCode(589), "DDERR_NOTPALETTIZED"},
    {ddCode(335), "DDERR_NOVSYNCHW"},
    {ddCode(340), "DDERR_NOZBUFFERHW"},
    {ddCode(350), "DDERR_NOZOVERLAYHW"},
    {ddCode(360), "DDERR_OUTOFCAPS"},
    {DDERR_OUTOFMEMORY, "DDERR_OUTOFMEMORY"},
    {ddCode(380), "DDERR_OUTOFVIDEOMEMORY"},
    {ddCode(382), "DDERR_OVERLAYCANTCLIP"},
    {ddCode(384), "DDERR_OVERLAYCOLORKEYONLYONEACTIVE"},
    {ddCode(577), "DDERR_OVERLAYNOTVISIBLE"},
    {ddCode(387), "DDERR_PALETTEBUSY"},
    {ddCode(564), "DDERR_PRIMARYSURFACEALREADYEXISTS"},
    {ddCode(566), "DDERR_REGIONTOOSMALL"},
    {ddCode(410), "DDERR_SURFACEALREADYATTACHED"},
    {ddCode(420), "DDERR_SURFACEALREADYDEPENDENT"},
    {ddCode(430), "DDERR_SURFACEBUSY"},
    {ddCode(440), "DDERR_SURFACEISOBSCURED"},
    {ddCode(450), "DDERR_SURFACELOST"},
    {ddCode(460), "DDERR_SURFACENOTATTACHED"},
    {ddCode(470), "DDERR_TOOBIGHEIGHT"},
    {ddCode(480), "DDERR_TOOBIGSIZE"},
    {ddCode(490), "DDERR_TOOBIGWIDTH"},
    {DDERR_UNSUPPORTED, "DDERR_UNSUPPORTED"},
    {ddCode(510), "DDERR_UNSUPPORTEDFORMAT"},
    {ddCode(520), "DDERR_UNSUPPORTEDMASK"},
    {ddCode(590), "DDERR_UNSUPPORTEDMODE"},
    {ddCode(537), "DDERR_VERTICALBLANKINPROGRESS"},
    {ddCode(540), "DDERR_WASSTILLDRAWING"},
    {ddCode(587), "DDERR_WRONGMODE"},
    {ddCode(560), "DDERR_XALIGN"},
};
static_assert(sizeof namedCodes / sizeof namedCodes[0] == 101, "101 named result codes");

// The text of the last unknown code; "Unknown error 65535" fits.
char unknownText[32];

} // namespace

const char* DDErrorName(DDResult code) {
    for (const NamedCode& entry : namedCodes)
        if (entry.code == code) return entry.name;
    std::snprintf(unknownText, sizeof unknownText, "Unknown error %d", int(code & 0xFFFF));
    return unknownText;
}

int ddErrorTableSize() {
    return int(sizeof namedCodes / sizeof namedCodes[0]);
}

DDResult ddErrorTableCode(int i) {
    return i >= 0 && i < ddErrorTableSize() ? namedCodes[i].code : DD_OK;
}
