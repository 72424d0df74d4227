#include "zar40/preset/fields.h"
#include "zar40/preset/preset_files.h"
#include "zar40/preset/text_codec.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <vector>

namespace zar40::preset {

namespace {

constexpr const char *kDocumentSkeleton =
    "<?xml version=\"1.0\" encoding=\"utf-8\" ?>"
    "<?xml-stylesheet type=\"text/xsl\" href=\"ZAR40.xsl\" ?>"
    "<ZAR40_PRESET></ZAR40_PRESET>";

// ---- Writing ----------------------------------------------------------------

std::string hexWord(std::uint32_t w)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%09X", static_cast<unsigned>(w));
    return buf;
}

// Inside an element the file lists the texts first and then the numbers in
// alphabetical order of their element names (DELAY, GAIN, MUTE, PHASE, ROUTE;
// AT, GAIN, KNEE, ...), which is the order the editor has always written.
// XML 1.0 has no place for most control characters, not even as character
// references, and strict readers refuse the whole file. Names holding one
// arrive from .vpf files and from the device; each such byte is written as a
// blank, so the text keeps its length.
std::string xmlSafeText(std::string text)
{
    for (char &c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 && c != '\t' && c != '\n' && c != '\r') c = ' ';
    }
    return text;
}

void appendFields(pugi::xml_node parent, const PresetRecord &r, std::span<const FieldDescriptor> fields)
{
    std::vector<const FieldDescriptor *> order;
    for (const auto &d : fields)
        if (d.xmlName) order.push_back(&d);
    std::stable_sort(order.begin(), order.end(), [](const FieldDescriptor *a, const FieldDescriptor *b) {
        if (a->isText() != b->isText()) return a->isText();
        return std::strcmp(a->xmlName, b->xmlName) < 0;
    });
    for (const auto *d : order) {
        auto e = parent.append_child(d->xmlName);
        if (d->isText()) {
            const std::string text = cp1252ToUtf8(xmlSafeText(fieldText(r, *d)));
            if (!text.empty()) e.text().set(text.c_str());
        } else {
            e.text().set(hexWord(fieldWord(r, *d)).c_str());
        }
    }
}

pugi::xml_node appendGroup(pugi::xml_node parent, const char *name, const char *id, const PresetRecord &r, int channel,
                           Group group, int index = 0)
{
    auto e = parent.append_child(name);
    e.append_attribute("ID").set_value(id);
    appendFields(e, r, fieldsOf(channel, group, index));
    return e;
}

// pugixml writes a carriage return in element text as it stands, and every
// parser turns it into a line feed on reading. Written as a character
// reference it survives, so a name holding one reads back unchanged. The
// writer's own line breaks are line feeds and our attribute values never
// hold one, so every carriage return here belongs to a text.
class StringWriter : public pugi::xml_writer {
public:
    std::string out;
    void write(const void *data, std::size_t size) override
    {
        const char *p = static_cast<const char *>(data);
        for (std::size_t i = 0; i < size; ++i) {
            if (p[i] == '\r') out += "&#13;";
            else out += p[i];
        }
    }
};

// ---- Reading ----------------------------------------------------------------

// Leading blanks, an optional 0x, hexadecimal digits up to the first other
// character; empty or non-numeric gives 0, more than 32 bits 0xFFFFFFFF.
std::uint32_t parseHexWord(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    if (s.size() - i >= 2 && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) i += 2;
    std::uint64_t v = 0;
    for (; i < s.size(); ++i) {
        const int c = static_cast<unsigned char>(s[i]);
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else break;
        v = v * 16 + static_cast<unsigned>(digit);
        if (v > 0xFFFFFFFFu) return 0xFFFFFFFFu;
    }
    return static_cast<std::uint32_t>(v);
}

// Leading decimal digits of the ID attribute, after blanks and a sign; 0 if
// absent or not a number. Large values are clamped, never overflowed.
long parseId(const pugi::xml_node &e)
{
    const char *s = e.attribute("ID").value();
    while (std::isspace(static_cast<unsigned char>(*s))) ++s;
    bool negative = false;
    if (*s == '+' || *s == '-') negative = *s++ == '-';
    long v = 0;
    for (; *s >= '0' && *s <= '9'; ++s) v = std::min(v * 10 + (*s - '0'), 1000000L);
    return negative ? -v : v;
}

// All character data below E in document order, as a DOM's text property
// gives it. Walks without recursion: hostile files may nest deeply.
std::string elementText(const pugi::xml_node &e)
{
    std::string out;
    pugi::xml_node n = e.first_child();
    while (n) {
        if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) out += n.value();
        if (n.first_child()) {
            n = n.first_child();
            continue;
        }
        while (n && n != e && !n.next_sibling()) n = n.parent();
        if (!n || n == e) break;
        n = n.next_sibling();
    }
    return out;
}

const FieldDescriptor *byXmlName(std::span<const FieldDescriptor> fields, const char *name)
{
    for (const auto &d : fields)
        if (d.xmlName && std::strcmp(d.xmlName, name) == 0) return &d;
    return nullptr;
}

void setFromElement(PresetRecord &r, const FieldDescriptor &d, const pugi::xml_node &e)
{
    const std::string text = elementText(e);
    if (d.isText())
        setFieldText(r, d, utf8ToCp1252(text)); // cut to the field's width there
    else
        setFieldWord(r, d, parseHexWord(text));
}

// Sets the fields of one group from the element's children; other children
// are ignored.
void readGroup(PresetRecord &r, const pugi::xml_node &group, std::span<const FieldDescriptor> fields)
{
    if (fields.empty()) return;
    for (auto c = group.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element) continue;
        if (const auto *d = byXmlName(fields, c.name())) setFromElement(r, *d, c);
    }
}

void readChannel(PresetRecord &r, const pugi::xml_node &channelElement, int channel)
{
    for (auto c = channelElement.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element) continue;
        const char *name = c.name();
        if (std::strcmp(name, "PEQ") == 0) {
            const long id = parseId(c);
            if (id >= 1 && id <= kBandCount) readGroup(r, c, fieldsOf(channel, Group::Peq, static_cast<int>(id - 1)));
        } else if (std::strcmp(name, "CROSSOVER") == 0) {
            const char *id = c.attribute("ID").value();
            if (std::strcmp(id, "LP") == 0) readGroup(r, c, fieldsOf(channel, Group::HighCut));
            else if (std::strcmp(id, "HP") == 0) readGroup(r, c, fieldsOf(channel, Group::LowCut));
        } else if (std::strcmp(name, "DYNAMIC") == 0) {
            readGroup(r, c, fieldsOf(channel, Group::Dynamics));
        } else if (std::strcmp(name, "NOISEGATE") == 0) {
            readGroup(r, c, fieldsOf(channel, Group::NoiseGate));
        } else if (const auto *d = byXmlName(fieldsOf(channel, Group::Channel), name)) {
            // Inputs have no ROUTE or PHASE in the table, so those are ignored there.
            setFromElement(r, *d, c);
        }
    }
}

// The preset-wide elements and the channels; true when E was one of them.
bool readKnownElement(PresetRecord &r, const pugi::xml_node &e)
{
    const char *name = e.name();
    if (std::strcmp(name, "INPUT") == 0) {
        const long id = parseId(e);
        if (id < 1 || id > kInputCount) return false;
        readChannel(r, e, static_cast<int>(id - 1));
        return true;
    }
    if (std::strcmp(name, "OUTPUT") == 0) {
        const long id = parseId(e);
        if (id < 1 || id > kOutputCount) return false;
        readChannel(r, e, kFirstOutput + static_cast<int>(id - 1));
        return true;
    }
    if (const auto *d = byXmlName(fieldsOf(kPresetWide, Group::Preset), name)) {
        setFromElement(r, *d, e);
        return true;
    }
    return false;
}

// Applies the known elements at any depth below unknown ones, in document
// order so that a later element wins. Iterative for the same reason as
// elementText.
void readTree(PresetRecord &r, const pugi::xml_node &root)
{
    pugi::xml_node n = root;
    while (n) {
        const bool descend = n.type() == pugi::node_element && !readKnownElement(r, n);
        if (descend && n.first_child()) {
            n = n.first_child();
            continue;
        }
        while (n && n != root && !n.next_sibling()) n = n.parent();
        if (!n || n == root) break;
        n = n.next_sibling();
    }
}

enum class DeclaredEncoding { Other, Latin1, Windows1252 };

// The encoding named in the XML declaration, for the two 8-bit encodings
// hand-written files use and the parser does not know both of. Anything
// else (UTF-8, a byte-order mark, no declaration) is left to the parser.
DeclaredEncoding declaredEncoding(std::string_view doc)
{
    if (doc.substr(0, 5) != "<?xml") return DeclaredEncoding::Other;
    const std::string_view decl = doc.substr(0, std::min(doc.find("?>"), std::size_t{256}));
    std::size_t at = decl.find("encoding");
    if (at == std::string_view::npos) return DeclaredEncoding::Other;
    at += 8;
    while (at < decl.size() && std::isspace(static_cast<unsigned char>(decl[at]))) ++at;
    if (at >= decl.size() || decl[at] != '=') return DeclaredEncoding::Other;
    ++at;
    while (at < decl.size() && std::isspace(static_cast<unsigned char>(decl[at]))) ++at;
    if (at >= decl.size() || (decl[at] != '"' && decl[at] != '\'')) return DeclaredEncoding::Other;
    const char quote = decl[at++];
    const std::size_t end = decl.find(quote, at);
    if (end == std::string_view::npos) return DeclaredEncoding::Other;
    std::string name(decl.substr(at, end - at));
    for (char &c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name == "iso-8859-1" || name == "iso_8859-1" || name == "latin1") return DeclaredEncoding::Latin1;
    if (name == "windows-1252" || name == "cp1252") return DeclaredEncoding::Windows1252;
    return DeclaredEncoding::Other;
}

Result loadFailure(std::string detail)
{
    return Result::failure(std::string(kXmlLoadError), std::move(detail));
}

} // namespace

std::string xmlPresetDocument(const PresetRecord &r)
{
    pugi::xml_document doc;
    doc.load_string(kDocumentSkeleton, pugi::parse_default | pugi::parse_declaration | pugi::parse_pi);
    auto root = doc.document_element();
    root.append_attribute("VERSION").set_value("1");
    appendFields(root, r, fieldsOf(kPresetWide, Group::Preset));

    for (int c = 0; c < kChannelCount; ++c) {
        const bool output = c >= kFirstOutput;
        const std::string id = std::to_string(output ? c - kFirstOutput + 1 : c + 1);
        auto ch = appendGroup(root, output ? "OUTPUT" : "INPUT", id.c_str(), r, c, Group::Channel);
        for (int b = 0; b < kBandCount; ++b) {
            const EqBand &band = output ? r.outputs[static_cast<std::size_t>(c - kFirstOutput)].PEQ[static_cast<std::size_t>(b)]
                                        : r.inputs[static_cast<std::size_t>(c)].PEQ[static_cast<std::size_t>(b)];
            if (isBandOn(band)) appendGroup(ch, "PEQ", std::to_string(b + 1).c_str(), r, c, Group::Peq, b);
        }
        if (!output) continue;
        const OutputChannel &o = r.outputs[static_cast<std::size_t>(c - kFirstOutput)];
        if (isLowCutOn(o.lowCut)) appendGroup(ch, "CROSSOVER", "HP", r, c, Group::LowCut);
        if (isHighCutOn(o.highCut)) appendGroup(ch, "CROSSOVER", "LP", r, c, Group::HighCut);
        if (isDynamicsOn(o.DYNAMIC)) appendFields(ch.append_child("DYNAMIC"), r, fieldsOf(c, Group::Dynamics));
        if (isNoiseGateOn(o.NOISEGATE)) appendFields(ch.append_child("NOISEGATE"), r, fieldsOf(c, Group::NoiseGate));
    }

    StringWriter w;
    doc.save(w, "\t", pugi::format_default, pugi::encoding_utf8);
    return std::move(w.out);
}

Result readXmlPreset(std::string_view document, PresetRecord &target)
{
    if (document.size() > kMaxPresetFileSize) return loadFailure("file too large");
    pugi::xml_document doc;
    std::string transcoded;
    pugi::xml_encoding encoding = pugi::encoding_auto;
    switch (declaredEncoding(document)) {
    case DeclaredEncoding::Latin1: transcoded = latin1ToUtf8(document); break;
    case DeclaredEncoding::Windows1252: transcoded = cp1252ToUtf8(document); break;
    case DeclaredEncoding::Other: break;
    }
    if (!transcoded.empty()) {
        document = transcoded;
        encoding = pugi::encoding_utf8;
    }
    // Whitespace-only texts are kept when they are an element's only content,
    // so that a name of blanks reads back as written.
    const auto parsed = doc.load_buffer(document.data(), document.size(),
                                        pugi::parse_default | pugi::parse_ws_pcdata_single, encoding);
    if (!parsed) return loadFailure(std::string(parsed.description()) + " at offset " + std::to_string(parsed.offset));
    const auto root = doc.document_element();
    if (!root) return loadFailure("no document element");

    PresetRecord scratch;
    fillDefaultPreset(scratch);
    readTree(scratch, root);
    target = scratch;
    return Result::success();
}

Result readXmlPresetFile(const std::string &path, PresetRecord &target)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return loadFailure(path + ": " + std::strerror(errno));
    std::string data;
    char buf[1 << 16];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        data.append(buf, static_cast<std::size_t>(in.gcount()));
        if (data.size() > kMaxPresetFileSize) return loadFailure(path + ": file too large");
    }
    if (in.bad()) return loadFailure(path + ": read error");
    return readXmlPreset(data, target);
}

Result writeXmlPresetFile(const PresetRecord &record, const std::string &path, RenameFunction rename)
{
    return writeFileAtomically(path, xmlPresetDocument(record), rename);
}

} // namespace zar40::preset
