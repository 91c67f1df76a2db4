// Table of character-set names (IANA names, Windows names and the aliases
// found in real documents) with their Windows code page numbers, and the
// iconv converter names of those code pages.
#include <algorithm>
#include <cstring>

#include "xml/XmlEncoding.h"

namespace libMorvaneClassifier {
namespace xmlenc {

namespace {

struct CharsetName {
    const char* name;  // lower case
    int codePage;
};

// Kept in lower case; looked up after folding the requested name.
// clang-format off
const CharsetName kCharsets[] = {
    // EBCDIC and DOS code pages
    {"ibm037", 37}, {"cp037", 37}, {"csibm037", 37}, {"ebcdic-cp-ca", 37}, {"ebcdic-cp-nl", 37},
    {"ebcdic-cp-us", 37}, {"ebcdic-cp-wt", 37},
    {"ibm437", 437}, {"437", 437}, {"cp437", 437}, {"cspc8codepage437", 437},
    {"ibm500", 500}, {"cp500", 500}, {"csibm500", 500}, {"ebcdic-cp-be", 500}, {"ebcdic-cp-ch", 500},
    {"asmo-708", 708},
    {"ibm737", 737}, {"cp737", 737},
    {"ibm775", 775}, {"cp775", 775}, {"cspc775baltic", 775},
    {"ibm850", 850}, {"850", 850}, {"cp850", 850}, {"cspc850multilingual", 850},
    {"ibm852", 852}, {"852", 852}, {"cp852", 852}, {"cspcp852", 852},
    {"ibm855", 855}, {"855", 855}, {"cp855", 855}, {"csibm855", 855},
    {"ibm857", 857}, {"857", 857}, {"cp857", 857}, {"csibm857", 857},
    {"ibm00858", 858}, {"ccsid00858", 858}, {"cp00858", 858}, {"cp858", 858}, {"ibm858", 858},
    {"pc-multilingual-850+euro", 858},
    {"ibm860", 860}, {"860", 860}, {"cp860", 860}, {"csibm860", 860},
    {"ibm861", 861}, {"861", 861}, {"cp861", 861}, {"cp-is", 861}, {"csibm861", 861},
    {"dos-862", 862}, {"ibm862", 862}, {"862", 862}, {"cp862", 862}, {"cspc862latinhebrew", 862},
    {"ibm863", 863}, {"863", 863}, {"cp863", 863}, {"csibm863", 863},
    {"ibm864", 864}, {"864", 864}, {"cp864", 864}, {"csibm864", 864},
    {"ibm865", 865}, {"865", 865}, {"cp865", 865}, {"csibm865", 865},
    {"cp866", 866}, {"866", 866}, {"ibm866", 866}, {"csibm866", 866},
    {"ibm869", 869}, {"869", 869}, {"cp869", 869}, {"cp-gr", 869}, {"csibm869", 869},
    {"ibm870", 870}, {"cp870", 870}, {"csibm870", 870}, {"ebcdic-cp-roece", 870}, {"ebcdic-cp-yu", 870},
    {"windows-874", 874}, {"dos-874", 874}, {"cp874", 874}, {"iso-8859-11", 874}, {"tis-620", 874},
    {"tis620", 874},
    {"cp875", 875}, {"ibm875", 875},
    // East Asian double-byte code pages
    {"shift_jis", 932}, {"shift-jis", 932}, {"csshiftjis", 932}, {"cswindows31j", 932}, {"ms_kanji", 932},
    {"sjis", 932}, {"x-sjis", 932}, {"x-ms-cp932", 932}, {"windows-31j", 932}, {"cp932", 932},
    {"ms932", 932}, {"windows-932", 932},
    {"gb2312", 936}, {"gbk", 936}, {"chinese", 936}, {"cn-gb", 936}, {"csgb2312", 936},
    {"csgb231280", 936}, {"csiso58gb231280", 936}, {"gb_2312-80", 936}, {"gb231280", 936},
    {"gb2312-80", 936}, {"gb_2312", 936}, {"iso-ir-58", 936}, {"x-gbk", 936}, {"cp936", 936},
    {"ms936", 936}, {"windows-936", 936}, {"csgbk", 936},
    {"ks_c_5601-1987", 949}, {"csksc56011987", 949}, {"iso-ir-149", 949}, {"korean", 949},
    {"ks_c_5601", 949}, {"ks_c_5601_1987", 949}, {"ks_c_5601-1989", 949}, {"ksc_5601", 949},
    {"ksc5601", 949}, {"cp949", 949}, {"uhc", 949}, {"windows-949", 949}, {"ms949", 949},
    {"big5", 950}, {"big-5", 950}, {"big-five", 950}, {"bigfive", 950}, {"cn-big5", 950},
    {"csbig5", 950}, {"x-x-big5", 950}, {"cp950", 950}, {"ms950", 950}, {"windows-950", 950},
    {"big5-hkscs", 950},
    // EBCDIC with the euro sign
    {"ibm1026", 1026}, {"cp1026", 1026}, {"csibm1026", 1026},
    {"ibm01047", 1047}, {"ibm1047", 1047}, {"cp1047", 1047},
    {"ibm01140", 1140}, {"ccsid01140", 1140}, {"cp01140", 1140}, {"ebcdic-us-37+euro", 1140},
    {"ibm01141", 1141}, {"ccsid01141", 1141}, {"cp01141", 1141}, {"ebcdic-de-273+euro", 1141},
    {"ibm01142", 1142}, {"ccsid01142", 1142}, {"cp01142", 1142}, {"ebcdic-dk-277+euro", 1142},
    {"ebcdic-no-277+euro", 1142},
    {"ibm01143", 1143}, {"ccsid01143", 1143}, {"cp01143", 1143}, {"ebcdic-fi-278+euro", 1143},
    {"ebcdic-se-278+euro", 1143},
    {"ibm01144", 1144}, {"ccsid01144", 1144}, {"cp01144", 1144}, {"ebcdic-it-280+euro", 1144},
    {"ibm01145", 1145}, {"ccsid01145", 1145}, {"cp01145", 1145}, {"ebcdic-es-284+euro", 1145},
    {"ibm01146", 1146}, {"ccsid01146", 1146}, {"cp01146", 1146}, {"ebcdic-gb-285+euro", 1146},
    {"ibm01147", 1147}, {"ccsid01147", 1147}, {"cp01147", 1147}, {"ebcdic-fr-297+euro", 1147},
    {"ibm01148", 1148}, {"ccsid01148", 1148}, {"cp01148", 1148}, {"ebcdic-international-500+euro", 1148},
    {"ibm01149", 1149}, {"ccsid01149", 1149}, {"cp01149", 1149}, {"ebcdic-is-871+euro", 1149},
    // Unicode
    {"utf-16", 1200}, {"utf-16le", 1200}, {"utf16", 1200}, {"ucs-2", 1200}, {"unicode", 1200},
    {"iso-10646-ucs-2", 1200}, {"csunicode", 1200}, {"ucs-2le", 1200},
    {"utf-16be", 1201}, {"unicodefffe", 1201}, {"ucs-2be", 1201},
    // Windows code pages
    {"windows-1250", 1250}, {"x-cp1250", 1250}, {"cp1250", 1250}, {"cswindows1250", 1250},
    {"windows-1251", 1251}, {"x-cp1251", 1251}, {"cp1251", 1251}, {"cswindows1251", 1251},
    {"windows-1252", 1252}, {"x-ansi", 1252}, {"cp1252", 1252}, {"cswindows1252", 1252},
    {"windows-1253", 1253}, {"cp1253", 1253}, {"cswindows1253", 1253},
    {"windows-1254", 1254}, {"cp1254", 1254}, {"cswindows1254", 1254},
    {"windows-1255", 1255}, {"cp1255", 1255}, {"cswindows1255", 1255},
    {"windows-1256", 1256}, {"cp1256", 1256}, {"cswindows1256", 1256},
    {"windows-1257", 1257}, {"cp1257", 1257}, {"cswindows1257", 1257},
    {"windows-1258", 1258}, {"cp1258", 1258}, {"cswindows1258", 1258},
    {"johab", 1361}, {"cp1361", 1361},
    // Macintosh
    {"macintosh", 10000}, {"mac", 10000}, {"csmacintosh", 10000}, {"x-mac-roman", 10000},
    {"x-mac-japanese", 10001}, {"x-mac-chinesetrad", 10002}, {"x-mac-korean", 10003},
    {"x-mac-arabic", 10004}, {"x-mac-hebrew", 10005}, {"x-mac-greek", 10006},
    {"x-mac-cyrillic", 10007}, {"mac-cyrillic", 10007}, {"x-mac-chinesesimp", 10008},
    {"x-mac-romanian", 10010}, {"x-mac-ukrainian", 10017}, {"x-mac-thai", 10021},
    {"x-mac-ce", 10029}, {"mac-centraleurope", 10029}, {"x-mac-icelandic", 10079},
    {"x-mac-turkish", 10081}, {"x-mac-croatian", 10082},
    {"utf-32", 12000}, {"utf-32le", 12000}, {"ucs-4", 12000}, {"utf-32be", 12001},
    // Other national and EBCDIC sets
    {"x-chinese-cns", 20000}, {"x-cp20001", 20001}, {"x-chinese-eten", 20002}, {"x-cp20003", 20003},
    {"x-cp20004", 20004}, {"x-cp20005", 20005}, {"x-ia5", 20105}, {"x-ia5-german", 20106},
    {"x-ia5-swedish", 20107}, {"x-ia5-norwegian", 20108},
    {"us-ascii", 20127}, {"ascii", 20127}, {"ansi_x3.4-1968", 20127}, {"ansi_x3.4-1986", 20127},
    {"cp367", 20127}, {"csascii", 20127}, {"ibm367", 20127}, {"iso-ir-6", 20127}, {"iso646-us", 20127},
    {"iso_646.irv:1991", 20127}, {"us", 20127},
    {"x-cp20261", 20261}, {"x-cp20269", 20269},
    {"ibm273", 20273}, {"cp273", 20273}, {"csibm273", 20273},
    {"ibm277", 20277}, {"csibm277", 20277}, {"ebcdic-cp-dk", 20277}, {"ebcdic-cp-no", 20277},
    {"ibm278", 20278}, {"cp278", 20278}, {"csibm278", 20278}, {"ebcdic-cp-fi", 20278}, {"ebcdic-cp-se", 20278},
    {"ibm280", 20280}, {"cp280", 20280}, {"csibm280", 20280}, {"ebcdic-cp-it", 20280},
    {"ibm284", 20284}, {"cp284", 20284}, {"csibm284", 20284}, {"ebcdic-cp-es", 20284},
    {"ibm285", 20285}, {"cp285", 20285}, {"csibm285", 20285}, {"ebcdic-cp-gb", 20285},
    {"ibm290", 20290}, {"cp290", 20290}, {"csibm290", 20290}, {"ebcdic-jp-kana", 20290},
    {"ibm297", 20297}, {"cp297", 20297}, {"csibm297", 20297}, {"ebcdic-cp-fr", 20297},
    {"ibm420", 20420}, {"cp420", 20420}, {"csibm420", 20420}, {"ebcdic-cp-ar1", 20420},
    {"ibm423", 20423}, {"cp423", 20423}, {"csibm423", 20423}, {"ebcdic-cp-gr", 20423},
    {"ibm424", 20424}, {"cp424", 20424}, {"csibm424", 20424}, {"ebcdic-cp-he", 20424},
    {"x-ebcdic-koreanextended", 20833},
    {"ibm-thai", 20838}, {"csibmthai", 20838},
    {"koi8-r", 20866}, {"cskoi8r", 20866}, {"koi", 20866}, {"koi8", 20866}, {"koi8r", 20866},
    {"ibm871", 20871}, {"cp871", 20871}, {"csibm871", 20871}, {"ebcdic-cp-is", 20871},
    {"ibm880", 20880}, {"cp880", 20880}, {"csibm880", 20880}, {"ebcdic-cyrillic", 20880},
    {"ibm905", 20905}, {"cp905", 20905}, {"csibm905", 20905}, {"ebcdic-cp-tr", 20905},
    {"ibm00924", 20924}, {"ccsid00924", 20924}, {"cp00924", 20924}, {"ebcdic-latin9--euro", 20924},
    {"x-cp20936", 20936}, {"x-cp20949", 20949},
    {"cp1025", 21025}, {"ibm1025", 21025},
    {"koi8-u", 21866}, {"koi8-ru", 21866}, {"koi8u", 21866},
    // ISO 8859
    {"iso-8859-1", 28591}, {"iso8859-1", 28591}, {"iso_8859-1", 28591}, {"iso_8859-1:1987", 28591},
    {"iso-ir-100", 28591}, {"latin1", 28591}, {"latin-1", 28591}, {"l1", 28591}, {"cp819", 28591},
    {"ibm819", 28591}, {"csisolatin1", 28591}, {"iso88591", 28591},
    {"iso-8859-2", 28592}, {"iso8859-2", 28592}, {"iso_8859-2", 28592}, {"iso_8859-2:1987", 28592},
    {"iso-ir-101", 28592}, {"latin2", 28592}, {"l2", 28592}, {"csisolatin2", 28592},
    {"iso-8859-3", 28593}, {"iso8859-3", 28593}, {"iso_8859-3", 28593}, {"iso_8859-3:1988", 28593},
    {"iso-ir-109", 28593}, {"latin3", 28593}, {"l3", 28593}, {"csisolatin3", 28593},
    {"iso-8859-4", 28594}, {"iso8859-4", 28594}, {"iso_8859-4", 28594}, {"iso_8859-4:1988", 28594},
    {"iso-ir-110", 28594}, {"latin4", 28594}, {"l4", 28594}, {"csisolatin4", 28594},
    {"iso-8859-5", 28595}, {"iso8859-5", 28595}, {"iso_8859-5", 28595}, {"iso_8859-5:1988", 28595},
    {"iso-ir-144", 28595}, {"cyrillic", 28595}, {"csisolatincyrillic", 28595},
    {"iso-8859-6", 28596}, {"iso8859-6", 28596}, {"iso_8859-6", 28596}, {"iso_8859-6:1987", 28596},
    {"iso-ir-127", 28596}, {"arabic", 28596}, {"csisolatinarabic", 28596}, {"ecma-114", 28596},
    {"iso-8859-7", 28597}, {"iso8859-7", 28597}, {"iso_8859-7", 28597}, {"iso_8859-7:1987", 28597},
    {"iso-ir-126", 28597}, {"greek", 28597}, {"greek8", 28597}, {"csisolatingreek", 28597},
    {"ecma-118", 28597}, {"elot_928", 28597},
    {"iso-8859-8", 28598}, {"iso8859-8", 28598}, {"iso_8859-8", 28598}, {"iso_8859-8:1988", 28598},
    {"iso-ir-138", 28598}, {"hebrew", 28598}, {"csisolatinhebrew", 28598}, {"iso-8859-8 visual", 28598},
    {"visual", 28598},
    {"iso-8859-9", 28599}, {"iso8859-9", 28599}, {"iso_8859-9", 28599}, {"iso_8859-9:1989", 28599},
    {"iso-ir-148", 28599}, {"latin5", 28599}, {"l5", 28599}, {"csisolatin5", 28599},
    {"iso-8859-10", 28600}, {"iso_8859-10", 28600}, {"latin6", 28600}, {"l6", 28600},
    {"csisolatin6", 28600},
    {"iso-8859-13", 28603}, {"iso_8859-13", 28603}, {"latin7", 28603}, {"l7", 28603},
    {"iso-8859-14", 28604}, {"iso_8859-14", 28604}, {"latin8", 28604}, {"l8", 28604},
    {"iso-8859-15", 28605}, {"iso8859-15", 28605}, {"iso_8859-15", 28605}, {"latin9", 28605},
    {"latin-9", 28605}, {"l9", 28605}, {"csisolatin9", 28605},
    {"iso-8859-16", 28606}, {"iso_8859-16", 28606}, {"latin10", 28606}, {"l10", 28606},
    {"x-europa", 29001},
    {"iso-8859-8-i", 38598}, {"logical", 38598}, {"csiso88598i", 38598},
    // ISO 2022 and EUC
    {"iso-2022-jp", 50220}, {"csiso2022jp", 50221}, {"_iso-2022-jp", 50221}, {"_iso-2022-jp$sio", 50222},
    {"iso-2022-kr", 50225}, {"csiso2022kr", 50225}, {"iso-2022-kr-7", 50225}, {"iso-2022-kr-7bit", 50225},
    {"x-cp50227", 50227}, {"iso-2022-cn", 50227},
    {"euc-jp", 51932}, {"cseucpkdfmtjapanese", 51932},
    {"extended_unix_code_packed_format_for_japanese", 51932}, {"x-euc", 51932}, {"x-euc-jp", 51932},
    {"eucjp", 51932},
    {"euc-cn", 51936}, {"x-euc-cn", 51936}, {"euccn", 51936},
    {"euc-kr", 51949}, {"cseuckr", 51949}, {"iso-2022-kr-8", 51949}, {"iso-2022-kr-8bit", 51949},
    {"euckr", 51949},
    {"hz-gb-2312", 52936},
    {"gb18030", 54936}, {"gb-18030", 54936},
    {"x-iscii-de", 57002}, {"x-iscii-be", 57003}, {"x-iscii-ta", 57004}, {"x-iscii-te", 57005},
    {"x-iscii-as", 57006}, {"x-iscii-or", 57007}, {"x-iscii-ka", 57008}, {"x-iscii-ma", 57009},
    {"x-iscii-gu", 57010}, {"x-iscii-pa", 57011},
    {"utf-7", 65000}, {"csunicode11utf7", 65000}, {"unicode-1-1-utf-7", 65000},
    {"unicode-2-0-utf-7", 65000}, {"x-unicode-1-1-utf-7", 65000}, {"x-unicode-2-0-utf-7", 65000},
    {"utf-8", 65001}, {"utf8", 65001}, {"unicode-1-1-utf-8", 65001}, {"unicode-2-0-utf-8", 65001},
    {"x-unicode-1-1-utf-8", 65001}, {"x-unicode-2-0-utf-8", 65001},
};
// clang-format on

struct IconvName {
    int codePage;
    const char* name;
    const char* alternative;
};

// Code page to iconv converter (glibc names first).
// clang-format off
const IconvName kIconvNames[] = {
    {37, "IBM037", "CP037"}, {437, "IBM437", "CP437"}, {500, "IBM500", "CP500"},
    {708, "ISO-8859-6", nullptr}, {737, "CP737", nullptr}, {775, "CP775", "IBM775"},
    {850, "IBM850", "CP850"}, {852, "IBM852", "CP852"}, {855, "IBM855", "CP855"},
    {857, "IBM857", "CP857"}, {858, "IBM858", "CP858"}, {860, "IBM860", "CP860"},
    {861, "IBM861", "CP861"}, {862, "IBM862", "CP862"}, {863, "IBM863", "CP863"},
    {864, "IBM864", "CP864"}, {865, "IBM865", "CP865"}, {866, "IBM866", "CP866"},
    {869, "IBM869", "CP869"}, {870, "IBM870", nullptr}, {874, "CP874", "WINDOWS-874"},
    {875, "IBM875", nullptr},
    {932, "CP932", "SHIFT_JIS"}, {936, "CP936", "GBK"}, {949, "CP949", "EUC-KR"},
    {950, "CP950", "BIG5"},
    {1026, "IBM1026", nullptr}, {1047, "IBM1047", nullptr},
    {1140, "IBM1140", nullptr}, {1141, "IBM1141", nullptr}, {1142, "IBM1142", nullptr},
    {1143, "IBM1143", nullptr}, {1144, "IBM1144", nullptr}, {1145, "IBM1145", nullptr},
    {1146, "IBM1146", nullptr}, {1147, "IBM1147", nullptr}, {1148, "IBM1148", nullptr},
    {1149, "IBM1149", nullptr},
    {1200, "UTF-16LE", nullptr}, {1201, "UTF-16BE", nullptr},
    {1250, "CP1250", "WINDOWS-1250"}, {1251, "CP1251", "WINDOWS-1251"},
    {1252, "CP1252", "WINDOWS-1252"}, {1253, "CP1253", "WINDOWS-1253"},
    {1254, "CP1254", "WINDOWS-1254"}, {1255, "CP1255", "WINDOWS-1255"},
    {1256, "CP1256", "WINDOWS-1256"}, {1257, "CP1257", "WINDOWS-1257"},
    {1258, "CP1258", "WINDOWS-1258"}, {1361, "JOHAB", nullptr},
    {10000, "MACINTOSH", "MAC"}, {10007, "MAC-CYRILLIC", "MACCYRILLIC"},
    {10017, "MACUKRAINIAN", nullptr}, {10029, "MAC-CENTRALEUROPE", nullptr},
    {10079, "MAC-IS", nullptr},
    {12000, "UTF-32LE", nullptr}, {12001, "UTF-32BE", nullptr},
    {20127, "ASCII", "US-ASCII"},
    {20273, "IBM273", nullptr}, {20277, "IBM277", nullptr}, {20278, "IBM278", nullptr},
    {20280, "IBM280", nullptr}, {20284, "IBM284", nullptr}, {20285, "IBM285", nullptr},
    {20290, "IBM290", nullptr}, {20297, "IBM297", nullptr}, {20420, "IBM420", nullptr},
    {20423, "IBM423", nullptr}, {20424, "IBM424", nullptr}, {20838, "IBM838", nullptr},
    {20866, "KOI8-R", nullptr}, {20871, "IBM871", nullptr}, {20880, "IBM880", nullptr},
    {20905, "IBM905", nullptr}, {20924, "IBM924", nullptr},
    {20932, "EUC-JP", nullptr}, {20936, "GB2312", nullptr},
    {21025, "IBM1025", nullptr}, {21866, "KOI8-U", nullptr},
    {28591, "ISO-8859-1", nullptr}, {28592, "ISO-8859-2", nullptr}, {28593, "ISO-8859-3", nullptr},
    {28594, "ISO-8859-4", nullptr}, {28595, "ISO-8859-5", nullptr}, {28596, "ISO-8859-6", nullptr},
    {28597, "ISO-8859-7", nullptr}, {28598, "ISO-8859-8", nullptr}, {28599, "ISO-8859-9", nullptr},
    {28600, "ISO-8859-10", nullptr}, {28603, "ISO-8859-13", nullptr},
    {28604, "ISO-8859-14", nullptr}, {28605, "ISO-8859-15", nullptr},
    {28606, "ISO-8859-16", nullptr}, {38598, "ISO-8859-8", nullptr},
    {50220, "ISO-2022-JP", nullptr}, {50221, "ISO-2022-JP", nullptr}, {50222, "ISO-2022-JP", nullptr},
    {50225, "ISO-2022-KR", nullptr}, {50227, "ISO-2022-CN", nullptr},
    {51932, "EUC-JP", nullptr}, {51936, "GB2312", "EUC-CN"}, {51949, "EUC-KR", nullptr},
    {54936, "GB18030", nullptr},
    {65000, "UTF-7", nullptr}, {65001, "UTF-8", nullptr},
};
// clang-format on

std::string FoldName(const std::string& name) {
    size_t b = 0, e = name.size();
    while (b < e && (name[b] == ' ' || name[b] == '\t' || name[b] == '\r' || name[b] == '\n')) ++b;
    while (e > b && (name[e - 1] == ' ' || name[e - 1] == '\t' || name[e - 1] == '\r' || name[e - 1] == '\n'))
        --e;
    std::string folded = name.substr(b, e - b);
    for (auto& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

}  // namespace

int CodePageOfCharset(const std::string& name) {
    const std::string folded = FoldName(name);
    if (folded.empty()) return 0;
    for (const auto& entry : kCharsets)
        if (folded == entry.name) return entry.codePage;
    return 0;
}

int CodePageOfCharset(const std::u16string& name) {
    std::string narrow;
    narrow.reserve(name.size());
    for (char16_t c : name) {
        if (c >= 0x80) return 0;  // every known name is ASCII
        narrow.push_back(static_cast<char>(c));
    }
    return CodePageOfCharset(narrow);
}

size_t CharsetTableSize() { return sizeof(kCharsets) / sizeof(kCharsets[0]); }
const char* CharsetTableName(size_t i) { return i < CharsetTableSize() ? kCharsets[i].name : nullptr; }
int CharsetTableCodePage(size_t i) { return i < CharsetTableSize() ? kCharsets[i].codePage : 0; }

const char* IconvNameOfCodePage(int codePage) {
    for (const auto& entry : kIconvNames)
        if (entry.codePage == codePage) return entry.name;
    return nullptr;
}

const char* IconvAlternativeNameOfCodePage(int codePage) {
    for (const auto& entry : kIconvNames)
        if (entry.codePage == codePage) return entry.alternative;
    return nullptr;
}

}  // namespace xmlenc
}  // namespace libMorvaneClassifier
