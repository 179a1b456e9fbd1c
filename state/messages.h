// The Korean texts the window shows in its status line.
#pragma once

constexpr char kMessageBadUrl[] = "다운로드 URL이 잘못되었습니다";
constexpr char kMessageUseAnotherWay[] = "다른 다운로드 방법을 이용하세요";
constexpr char kMessageNoFiles[] = "다운로드 파일이 없습니다";
constexpr char kMessageDocumentsUnreadable[] = "다운로드 정보를 읽지 못했습니다";
constexpr char kMessageFolderRefused[] = "선택한 폴더에 저장할 수 없습니다";
// Listed files whose servers answered with an error ("%d" is their count);
// the others can still be downloaded.
constexpr char kMessageFilesNotFound[] = "목록의 파일 %d개를 서버에서 찾지 못했습니다";
// A document refused under the publisher's key: not signed by it, older
// than one this machine took, or expired.
constexpr char kMessageBadSignature[] = "다운로드 정보의 서명이 올바르지 않습니다";
constexpr char kMessageOlderVersion[] = "다운로드 정보가 이전 버전입니다";
constexpr char kMessageExpired[] = "다운로드 정보의 유효기간이 지났습니다";
