#pragma once

// Everything a client of the library needs.
#include <tarn_package/error.hpp>
#include <tarn_package/events.hpp>
#include <tarn_package/package_header.hpp>
#include <tarn_package/profile_decoding.hpp>
#include <tarn_package/records.hpp>
#include <tarn_package/render.hpp>
#include <tarn_package/validation.hpp>
