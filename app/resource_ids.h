// Resource identifiers shared by Vuxor.rc and the code that loads them.
#pragma once

#define IDI_VUXOR 1      // the 32 x 32 application icon
#define IDR_PICTURE 101  // RCDATA: the JPEG picture shown in Image1
