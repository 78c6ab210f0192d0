// A Prepar3D add-on package file, "add-on.xml". Prepar3D v4 and v5 find one in each folder of
// "Documents\Prepar3D vN Add-ons" and load what it lists, without a line in Scenery.CFG:
//
//   <?xml version="1.0" encoding="UTF-8"?>
//   <SimBase.Document Type="AddOnXml" version="4,0" id="add-on">
//       <AddOn.Name>Heathrow Mini</AddOn.Name>
//       <AddOn.Description>Heathrow Mini</AddOn.Description>
//       <AddOn.Component>
//           <Category>Scenery</Category>
//           <Path>C:\P3D v5\Addon Scenery\Heathrow Mini</Path>     absolute, or from the file's folder
//           <Name>Heathrow Mini</Name>
//       </AddOn.Component>
//   </SimBase.Document>
//
// As SceneryCfg does with scenery.cfg, the file is held as its bytes and changed only where a
// scenery component is added or taken out; every other byte (comments, other components, line
// ends) stays. A file made from nothing by an add goes back to nothing when its component is
// taken out. Text is UTF-8, as the file declares; names and paths are escaped and unescaped
// here. Portable and without side effects.
#pragma once

#include <string>
#include <vector>

#include "SceneryCfg.h"

namespace kit {

class AddOnXml {
public:
    explicit AddOnXml(std::string bytes) : bytes_(std::move(bytes)) {}
    const std::string& Bytes() const { return bytes_; }

    struct Component {
        std::string category, path, name;  // as the text means them (entities resolved), trimmed
        size_t begin = 0, end = 0;         // the element, from "<AddOn.Component" to after its end tag
    };
    // The components outside comments, in their order.
    std::vector<Component> Components() const;

    // The number (1 = the first component) of the scenery component whose Path names folder
    // (absolute; a relative Path counts from xmlFolder), compared as Windows compares names;
    // 0 when there is none.
    int FindPath(const std::string& folder, const std::string& xmlFolder) const;

    // A scenery component before the document's end tag, in the file's line ends and indent;
    // an empty file becomes a whole document named packageName first. added.number is the
    // component's, added.separator what went before its start tag (its indent, and a line end
    // when the end tag did not begin a line). False, with the reason, when the bytes are no
    // SimBase.Document that can take one.
    bool AddScenery(const std::string& packageName, const std::string& name, const std::string& path, AddedArea& added,
                    std::string& why);

    // Takes out the scenery component the add made (the one of that number when its Path is
    // still the added one, else the one with that Path) with what the add put before it and
    // the line end after it. A document left as an add makes it from nothing becomes empty. False when
    // there is no such component: another is never taken out in its place.
    bool RemoveScenery(const AddedArea& area);

    // The document an add makes from nothing, before its component.
    static std::string EmptyDocument(const std::string& packageName, const std::string& lineEnd = "\r\n");

private:
    std::string bytes_;
};

// Text as XML writes it (& < > " escaped), and back (the five entities and &#N; / &#xN;).
std::string XmlEscape(const std::string& text);
std::string XmlUnescape(const std::string& text);

}  // namespace kit
