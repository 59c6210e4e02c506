#pragma once
// Resource ids shared by the resource script and the code.

#define IDI_KEEPBOOT 1
#define IDI_TRAY 2
#define IDR_BANNER_PNG 101
#define IDR_PROMPT_PNG 102
