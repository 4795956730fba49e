#pragma once
// What a host needs to know of the Trivex control, as its type library says
// it: the programmatic identifier, the dispatch ids of _Trivex, the event ids
// of __Trivex and the positions of the bar's entries. Header only: a host
// includes it and never links the library.
#include "platform/ole/ole.h"

namespace trivex {

inline constexpr const char* kProgId = "TrivexControl.Trivex";

// _Trivex
inline constexpr ole::DISPID DISPID_BackColor = 0x68030018;
inline constexpr ole::DISPID DISPID_ForeColor = 0x68030017;
inline constexpr ole::DISPID DISPID_Enabled = 0x68030016;
inline constexpr ole::DISPID DISPID_Font = ole::DISPID_FONT;
inline constexpr ole::DISPID DISPID_BackStyle = 0x68030015;
inline constexpr ole::DISPID DISPID_BorderStyle = 0x68030014;
inline constexpr ole::DISPID DISPID_Refresh = 0x6003001A;
inline constexpr ole::DISPID DISPID_STATUS = 0x68030013;
inline constexpr ole::DISPID DISPID_HabilitaMenu = 0x6803001B;

// __Trivex: the event's position. Only ButtonClick is ever raised; its one
// argument is the clicked button, an object with the properties Index
// (qint16), Key (QString), ToolTipText, Image (its picture) and Enabled.
enum EventId : ole::DISPID {
  EVENT_Click = 1, EVENT_DblClick, EVENT_KeyDown, EVENT_KeyPress, EVENT_KeyUp,
  EVENT_MouseDown, EVENT_MouseMove, EVENT_MouseUp, EVENT_ButtonClick,
};

// The bar's sixteen entries by 1-based Index; the others are separators.
enum ButtonIndex : qint16 {
  PRIMEIRO = 1, ANTERIOR = 2, PROXIMO = 3, ULTIMO = 4,
  NOVO = 7, ALTERAR = 8, LOCALIZAR = 10, EXCLUIR = 11,
  CANCELAR = 13, GRAVAR = 14, SAIR = 16,
};
inline constexpr int kButtonCount = 16;

}  // namespace trivex
