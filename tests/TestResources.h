#pragma once

#define IDR_TEST_ALPHA_PNG 201
#define IDR_TEST_NOT_PNG 202
