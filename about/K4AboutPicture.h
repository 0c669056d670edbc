/* Resource id of the about window's product picture; shared with the resource script. */
#pragma once
#define K4_PRODUCT_PICTURE 201
