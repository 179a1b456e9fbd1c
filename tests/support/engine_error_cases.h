// What the window shows for each engine error code, and whether the error
// lets the user try again.
#pragma once
#include <cstdint>

struct EngineErrorCase {
    int32_t code;
    const char* message;
    int32_t retry;
};

constexpr EngineErrorCase kEngineErrorCases[] = {
    {2001, "디스크 공간이 부족합니다", 0},
    {2002, "기존파일 삭제 후, 다시 시도하세요 (201)", 1},
    {2003, "기존파일 삭제 후, 다시 시도하세요 (202)", 1},
    {2004, "파일생성을 실패하였습니다", 0},
    {2005, "파일쓰기를 실패하였습니다", 1},
    {2006, "관리자에게 문의하세요. (403)", 0},
    {2007, "관리자에게 문의하세요. (404)", 0},
    {2008, "네트워크 연결을 확인하세요", 0},
    {2009, "재부팅후, 다시 시도하세요", 0},
    {2010, "기존파일 삭제 후, 다시 시도하세요 (203)", 1},
    {2011, "NTFS 파티션의 디스크로 저장위치 변경", 0},
    {2020, "관리자에게 문의하세요 (500)", 0},
    {2021, "파일검증을 실패하였습니다", 0},
    {2022, "서버의 파일이 바뀌었습니다. 재실행 후 다시 시도하세요", 0},
    {2015, "", 0},
    {1999, "", 0},
};
