# The Engine's exported entry points. stdcall names carry the size of their arguments in bytes as the
# 32-bit compiler decorates them; the DLL exports every one under its plain name (--kill-at), and the
# module-definition file is generated from this list for each Windows build.
set(TOV_ENGINE_EXPORTS
  DoDaDllInit@28
  ProcessDaBatBuffer@20
  HotKeyCheck@20
  LoadMyString@20
  LoadMyStringW@20
  ViperAnswer@16
  get_token@4
  putback@4
  get_string_token@4
  VMalloc@8
  VFree@8
  find_var@12
  MyVariantStrToNum@8
  ProcessSubExpression@20
  CreateMyArray@36
  ParseYMDHMS@16
  ErrorMsgProc@16
  StackInfoProc@16
  WinEnumFuncx@8
  WinEnumFuncxW@8
  WinEnumDaChild@8
  WinEnumDaChildW@8
  WinEnumItem@8
  WinEnumItemW@8
  WinEnumItemAndId@8
  WinEnumItemAndIdW@8
  WinEnumFromProcId@8
  WinEnumFromProcIdW@8
  WinEnumClose@8
  WinEnumCloseW@8
  WinEnumXXXIcon@8
  WinEnumXXXIconW@8
  UncompressBuffer@16
)
