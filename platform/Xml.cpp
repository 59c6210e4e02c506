#include "platform/Xml.h"

#include <utility>

#include "platform/Bstr.h"
#include "platform/Error.h"

namespace kb {

using Microsoft::WRL::ComPtr;

namespace {

std::wstring Trimmed(std::wstring text) {
    const auto space = [](wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; };
    std::size_t first = 0, last = text.size();
    while (first < last && space(text[first])) ++first;
    while (last > first && space(text[last - 1])) --last;
    return text.substr(first, last - first);
}

}  // namespace

std::wstring XmlElement::Namespace() const {
    Bstr uri;
    OleCheck(node_->get_namespaceURI(uri.put()));
    return uri.Text();
}

std::wstring XmlElement::LocalName() const {
    Bstr name;
    OleCheck(node_->get_baseName(name.put()));
    return name.Text();
}

std::wstring XmlElement::Text() const {
    Bstr text;
    OleCheck(node_->get_text(text.put()));
    return Trimmed(text.Text());
}

std::optional<std::wstring> XmlElement::Attribute(const std::wstring& name) const {
    ComPtr<IXMLDOMNamedNodeMap> attributes;
    ComPtr<IXMLDOMNode> attribute;
    if (FAILED(node_->get_attributes(&attributes)) || !attributes ||
        attributes->getNamedItem(Bstr(name), &attribute) != S_OK || !attribute)
        return std::nullopt;
    Bstr text;
    OleCheck(attribute->get_text(text.put()));
    return text.Text();
}

std::vector<XmlElement> XmlElement::Children() const {
    std::vector<XmlElement> children;
    ComPtr<IXMLDOMNode> child;
    OleCheck(node_->get_firstChild(&child));
    while (child) {
        DOMNodeType type = NODE_INVALID;
        OleCheck(child->get_nodeType(&type));
        if (type == NODE_ELEMENT) children.emplace_back(child);
        ComPtr<IXMLDOMNode> next;
        OleCheck(child->get_nextSibling(&next));
        child = std::move(next);
    }
    return children;
}

std::vector<XmlElement> XmlElement::Children(std::wstring_view localName) const {
    const std::wstring ns = Namespace();
    std::vector<XmlElement> found;
    for (XmlElement& child : Children())
        if (child.LocalName() == localName && child.Namespace() == ns) found.push_back(std::move(child));
    return found;
}

std::optional<XmlElement> XmlElement::Child(std::wstring_view localName) const {
    std::vector<XmlElement> found = Children(localName);
    if (found.empty()) return std::nullopt;
    return std::move(found.front());
}

XmlElement ParseXml(const std::wstring& text) {
    ComPtr<IXMLDOMDocument> document;
    // By the class and interface ids of MSXML's first interfaces, which
    // every Windows since XP has (msxml3 serves them).
    OleCheck(::CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                reinterpret_cast<void**>(document.GetAddressOf())));
    // Nothing is fetched from elsewhere: no external entity or DTD.
    OleCheck(document->put_async(VARIANT_FALSE));
    OleCheck(document->put_validateOnParse(VARIANT_FALSE));
    OleCheck(document->put_resolveExternals(VARIANT_FALSE));
    // No document type: refused before the parser sees it, which would
    // expand its entities first (a few lines can grow to gigabytes).
    if (text.find(L"<!DOCTYPE") != std::wstring::npos) throw OleError(E_INVALIDARG, L"a document type declaration");
    VARIANT_BOOL loaded = VARIANT_FALSE;
    OleCheck(document->loadXML(Bstr(text), &loaded));
    // No document type either: what it declares (entities) could make the
    // text say what its writer did not put in it.
    ComPtr<IXMLDOMDocumentType> doctype;
    if (loaded == VARIANT_TRUE && SUCCEEDED(document->get_doctype(&doctype)) && doctype)
        throw OleError(E_INVALIDARG, L"a document type declaration");
    ComPtr<IXMLDOMElement> root;
    if (loaded != VARIANT_TRUE || FAILED(document->get_documentElement(&root)) || !root)
        throw OleError(E_INVALIDARG, L"not well-formed XML");
    return XmlElement(ComPtr<IXMLDOMNode>(root.Get()));
}

std::wstring XmlTextOf(std::string_view bytes) {
    std::wstring text;
    const auto utf16 = [&](bool bigEndian) {
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
            text += static_cast<wchar_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
        }
    };
    if (bytes.starts_with("\xFF\xFE")) {
        utf16(false);
    } else if (bytes.starts_with("\xFE\xFF")) {
        utf16(true);
    } else {
        if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
        if (!bytes.empty()) {
            const int size = static_cast<int>(bytes.size());
            text.resize(static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, nullptr, 0)));
            ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, text.data(), static_cast<int>(text.size()));
        }
    }
    if (text.starts_with(L"<?xml")) {
        const std::size_t end = text.find(L"?>");
        text.erase(0, end == std::wstring::npos ? text.size() : end + 2);
    }
    return text;
}

}  // namespace kb
