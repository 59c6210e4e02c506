#pragma once
// XML read by the system's parser (MSXML, through COM; COM must be
// initialised on the calling thread): elements found by namespace and local
// name, in whatever order a writer put them.
#include <windows.h>
#include <msxml.h>
#include <wrl/client.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kb {

class XmlElement {
public:
    explicit XmlElement(Microsoft::WRL::ComPtr<IXMLDOMNode> node) : node_(std::move(node)) {}

    std::wstring Namespace() const;
    std::wstring LocalName() const;
    // The text it holds, its descendants' included, without the space
    // around it.
    std::wstring Text() const;
    // The value of an attribute without a namespace; none when it has none.
    std::optional<std::wstring> Attribute(const std::wstring& name) const;
    // Its child elements, in the document's order.
    std::vector<XmlElement> Children() const;
    // Those of the element's own namespace and that local name; the first.
    std::vector<XmlElement> Children(std::wstring_view localName) const;
    std::optional<XmlElement> Child(std::wstring_view localName) const;

private:
    Microsoft::WRL::ComPtr<IXMLDOMNode> node_;
};

// The document's root element. Raises (OleError) when the text is not
// well-formed XML, declares a document type, or the parser cannot be had.
XmlElement ParseXml(const std::wstring& text);

// A file's bytes as text, by its byte-order mark: UTF-16 (either order) or
// UTF-8, else UTF-8 as XML's default. An XML declaration at its head is
// dropped: the text is decoded, so what it says of the encoding no longer
// holds.
std::wstring XmlTextOf(std::string_view bytes);

}  // namespace kb
