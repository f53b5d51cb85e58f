// Drawing: a layer above the platform.
#pragma once
