// Dialog definitions: the script variables that describe a dialog (its name followed by a suffix), read
// and validated into a DialogDef. Nothing is shown here; a definition that passes is complete and
// consistent, so the runtime never meets a malformed one.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tov {

struct RunContext;

namespace dialog {

constexpr size_t DIALOG_NAME_MAX = 19;             // characters of a dialog name
constexpr size_t CONTROL_NAME_MAX = 30;     // characters of a control name
constexpr int CONTROLS_MAX = 300;
constexpr size_t CAPTION_MAX = 255;
constexpr size_t FONT_FACE_MAX = 31;
constexpr int32_t MISSING_NUMBER = -9999;   // a numeric variable that does not exist

enum ControlType : int {
  CT_STATICTEXT = 1, CT_EDITBOX, CT_RADIOBUTTON, CT_CHECKBOX, CT_VARYTEXT, CT_FILELISTBOX, CT_PUSHBUTTON,
  CT_ITEMBOX, CT_PICTUREBUTTON, CT_PICTURE, CT_DROPLISTBOX, CT_MULTILINEBOX, CT_GROUPBOX, CT_CALENDAR,
  CT_SPINNER, CT_COMCONTROL, CT_MENUBAR, CT_MENUITEM,
};

// Format signatures: 6.2 has a name field in each control definition, 6.1 has not.
enum Format : int { FORMAT_61 = 61, FORMAT_62 = 62 };

// A colour of the definition: -1 for the default, else 0x00BBGGRR.
constexpr int32_t COLOR_DEFAULT = -1;

struct FontDef {
  bool set = false;          // false: the default font
  std::string face;          // empty: the default face
  int32_t size = 0;
  int32_t style = 0;
  int32_t pitchFamily = 0;   // low byte pitch and family, second byte character set
};

struct ControlDef {
  int number = 0;            // 1-based, the definition order
  int type = 0;
  int32_t x = 0, y = 0, width = 0, height = 0;   // DLU
  std::string name;          // format 6.1: the number in decimal
  std::string variable;      // empty: none; MENUITEM: the parent's name; COMCONTROL: the object text
  std::string text;
  int32_t value = 0;
  int32_t tabOrder = 0;      // MENUITEM: its value
  int32_t style = 0;
  FontDef font;              // not set: the dialog's font
  int32_t textColor = COLOR_DEFAULT;
  int32_t background = COLOR_DEFAULT;
  std::string bitmap;        // picture controls: the background bitmap file
  int parent = -1;           // MENUITEM: index of its parent control
};

struct DialogDef {
  std::string name;
  int format = FORMAT_62;
  int32_t x = -1, y = -1;               // DLU; -1: the default placement
  int32_t width = 0, height = 0;
  int32_t minWidth = -1, minHeight = -1;  // -1: not resizable in that direction
  std::string caption;
  std::string procedure;
  FontDef font;
  int32_t textColor = COLOR_DEFAULT;
  int32_t background = COLOR_DEFAULT;
  std::string backgroundBitmap;
  std::vector<ControlDef> controls;
};

// Reads the definition named `name` from the current frame's variables. On failure the run's error is set,
// with the offending variable and its content as additional information, and false returned.
bool read_definition(RunContext* ctx, const char* name, DialogDef* out);

// A variable of the current frame as text; false when it does not exist or has no value (an array reads as
// "<array>"). A conversion that runs out of string memory sets the run's error.
bool variable_text(RunContext* ctx, const std::string& name, std::string* out);
bool variable_wide(RunContext* ctx, const std::string& name, std::u16string* out);

// The type code of a type name (case-insensitive), 0 when unknown.
int control_type_code(const std::string& name);
const char* control_type_name(int type);

// Colour and font texts ("255|0|0"; "Arial|120|70|0"). False for an invalid text.
bool parse_color(const std::string& text, int32_t* rgb);
bool parse_font(const std::string& text, FontDef* font);

}  // namespace dialog
}  // namespace tov
